#include "app/video_list.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <filesystem>

#include "app/drop_file_edit.h"

namespace zepra {

namespace {

constexpr int kVisibleRows = 4;

// The name a new entry gets: its file's name without the extension, as the
// user would write it; what the menu makes of it is shown beside it.
QString fileNameWithoutExtension(const QString& path) {
  return QString::fromStdString(std::filesystem::path(path.toStdString()).stem().string());
}

QString shownInMenu(const QString& name) {
  return QString::fromStdString(menuName(name.toStdString()));
}

QTableWidgetItem* fixedItem(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  return item;
}

}  // namespace

VideoList::VideoList(QWidget* parent) : QWidget(parent) {
  setAcceptDrops(true);

  auto* hint = new QLabel(
      QStringLiteral("Drop several videos here for one cartridge with a menu. "
                     "Double-click a name to change it."),
      this);
  hint->setWordWrap(true);

  table_ = new QTableWidget(0, kColumnCount, this);
  table_->setHorizontalHeaderLabels(
      {QStringLiteral("Name"), QStringLiteral("Menu shows"), QStringLiteral("File")});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::SelectedClicked);
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideMiddle);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QHeaderView* header = table_->horizontalHeader();
  const int nameWidth = fontMetrics().averageCharWidth() * 22;
  header->resizeSection(kNameColumn, nameWidth);
  header->resizeSection(kMenuColumn, nameWidth);
  header->setStretchLastSection(true);
  const int rowHeight = table_->verticalHeader()->defaultSectionSize();
  table_->setFixedHeight(header->sizeHint().height() + rowHeight * kVisibleRows + table_->frameWidth() * 2);
  table_->installEventFilter(this);

  addButton_ = new QPushButton(QStringLiteral("Add videos..."), this);
  upButton_ = new QPushButton(QStringLiteral("Up"), this);
  downButton_ = new QPushButton(QStringLiteral("Down"), this);
  removeButton_ = new QPushButton(QStringLiteral("Remove"), this);
  upButton_->setToolTip(QStringLiteral("Earlier in the menu (Ctrl+Up)"));
  downButton_->setToolTip(QStringLiteral("Later in the menu (Ctrl+Down)"));
  removeButton_->setToolTip(QStringLiteral("Take the video off the cartridge (Delete)"));
  auto* buttons = new QVBoxLayout;
  for (QPushButton* button : {addButton_, upButton_, downButton_, removeButton_}) {
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  buttons->addStretch(1);

  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(table_, 1);
  row->addLayout(buttons);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(hint);
  column->addLayout(row);

  connect(addButton_, &QPushButton::clicked, this, &VideoList::addRequested);
  connect(upButton_, &QPushButton::clicked, this, [this] { moveSelected(-1); });
  connect(downButton_, &QPushButton::clicked, this, [this] { moveSelected(1); });
  connect(removeButton_, &QPushButton::clicked, this, [this] { removeSelected(); });
  connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) { onItemChanged(item); });
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { updateButtons(); });
  updateButtons();
}

std::vector<CartridgeInput> VideoList::inputs() const {
  std::vector<CartridgeInput> inputs;
  inputs.reserve(entries_.size());
  for (const Entry& entry : entries_) inputs.push_back({entry.path.toStdString(), entry.name.toStdString()});
  return inputs;
}

void VideoList::append(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const int first = count();
  for (const QString& path : paths) entries_.push_back({path, fileNameWithoutExtension(path)});
  showEntries(first);
  emit videosChanged();
}

void VideoList::clear() {
  if (entries_.empty()) return;
  entries_.clear();
  showEntries(-1);
  emit videosChanged();
}

void VideoList::moveSelected(int step) {
  const int row = selectedRow();
  const int target = row + step;
  if (row < 0 || target < 0 || target >= count()) return;
  std::swap(entries_[static_cast<std::size_t>(row)], entries_[static_cast<std::size_t>(target)]);
  showEntries(target);
  emit videosChanged();
}

void VideoList::removeSelected() {
  const int row = selectedRow();
  if (row < 0) return;
  entries_.erase(entries_.begin() + row);
  // The selection stays in place, on the entry that moved up into the gap.
  showEntries(std::min(row, count() - 1));
  emit videosChanged();
}

void VideoList::rename(int row, const QString& name) {
  if (row < 0 || row >= count()) return;
  Entry& entry = entries_[static_cast<std::size_t>(row)];
  const QString trimmed = name.trimmed();
  entry.name = trimmed.isEmpty() ? fileNameWithoutExtension(entry.path) : trimmed;
  showRow(row);
  emit videosChanged();
}

void VideoList::onItemChanged(QTableWidgetItem* item) {
  if (showing_ || item->column() != kNameColumn) return;
  rename(item->row(), item->text());
}

void VideoList::showRow(int row) {
  const Entry& entry = entries_[static_cast<std::size_t>(row)];
  const bool wasShowing = std::exchange(showing_, true);
  auto* name = new QTableWidgetItem(entry.name);
  name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
  table_->setItem(row, kNameColumn, name);
  // What the console cannot show stands out, so no name changes unnoticed.
  const QString shown = shownInMenu(entry.name);
  QTableWidgetItem* menu = fixedItem(shown);
  if (shown != entry.name) {
    QFont font = menu->font();
    font.setItalic(true);
    menu->setFont(font);
    menu->setToolTip(QStringLiteral("A menu line shows at most %1 characters; "
                                     "those the console cannot show become ?")
                         .arg(kMaxMenuNameChars));
  }
  table_->setItem(row, kMenuColumn, menu);
  QTableWidgetItem* file = fixedItem(entry.path);
  file->setToolTip(entry.path);
  table_->setItem(row, kFileColumn, file);
  showing_ = wasShowing;
}

void VideoList::showEntries(int selectedRow) {
  const bool wasShowing = std::exchange(showing_, true);
  table_->clearContents();
  table_->setRowCount(count());
  for (int row = 0; row < count(); ++row) showRow(row);
  if (selectedRow >= 0 && selectedRow < count()) {
    table_->setCurrentCell(selectedRow, kNameColumn);
    table_->selectRow(selectedRow);
  } else {
    table_->clearSelection();
  }
  showing_ = wasShowing;
  updateButtons();
}

int VideoList::selectedRow() const {
  const QList<QTableWidgetItem*> selected = table_->selectedItems();
  return selected.isEmpty() ? -1 : selected.front()->row();
}

void VideoList::updateButtons() {
  const int row = selectedRow();
  upButton_->setEnabled(row > 0);
  downButton_->setEnabled(row >= 0 && row + 1 < count());
  removeButton_->setEnabled(row >= 0);
}

bool VideoList::eventFilter(QObject* watched, QEvent* event) {
  // A name being edited has its own editor, which takes its keys itself.
  if (watched == table_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() == Qt::ControlModifier && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
      moveSelected(key->key() == Qt::Key_Up ? -1 : 1);
      return true;
    }
    if (key->modifiers() == Qt::NoModifier && key->key() == Qt::Key_Delete) {
      removeSelected();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void VideoList::dragEnterEvent(QDragEnterEvent* event) {
  if (!droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void VideoList::dragMoveEvent(QDragMoveEvent* event) {
  if (!droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void VideoList::dropEvent(QDropEvent* event) {
  const QStringList files = droppedFiles(event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  emit filesDropped(files);
}

}  // namespace zepra
