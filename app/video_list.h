#pragma once
// The videos of a cartridge with a menu: a table of files with the name each
// gets in the menu (editable, beside what the console will really show), and
// the buttons to add, reorder and remove them. Several files dropped on it
// are offered to the dialog, which decides what becomes of them; the list
// itself only keeps, names and orders its entries.

#include <QStringList>
#include <QWidget>

#include <vector>

#include "job/cartridge_job.h"

class QLabel;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace zepra {

class VideoList final : public QWidget {
  Q_OBJECT

 public:
  // The table's columns, left to right.
  enum Column { kNameColumn = 0, kMenuColumn = 1, kFileColumn = 2, kColumnCount = 3 };

  explicit VideoList(QWidget* parent = nullptr);

  int count() const { return static_cast<int>(entries_.size()); }
  // Two videos or more make a cartridge with a menu; one stays in the input field.
  bool makesCartridge() const { return count() >= 2; }
  // The entries in menu order; every name is the user's text (never empty).
  std::vector<CartridgeInput> inputs() const;

  // Appends one entry per path, named after its file, and selects the first
  // of them. The caller keeps the count within what a menu holds.
  void append(const QStringList& paths);
  void clear();
  // Moves the selected entry one place up (-1) or down (+1), keeping it selected.
  void moveSelected(int step);
  void removeSelected();
  // Gives entry `row` a name; a blank one brings back the file's name.
  void rename(int row, const QString& name);

  QTableWidget* table() const { return table_; }

 signals:
  // Any change of the entries: added, removed, renamed or reordered.
  void videosChanged();
  void addRequested();
  void filesDropped(const QStringList& paths);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Entry {
    QString path;
    QString name;
  };
  void showEntries(int selectedRow);
  void showRow(int row);
  void onItemChanged(QTableWidgetItem* item);
  void updateButtons();
  int selectedRow() const;

  std::vector<Entry> entries_;
  bool showing_ = false;  // the table is being filled from the entries
  QTableWidget* table_ = nullptr;
  QPushButton* addButton_ = nullptr;
  QPushButton* upButton_ = nullptr;
  QPushButton* downButton_ = nullptr;
  QPushButton* removeButton_ = nullptr;
};

}  // namespace zepra
