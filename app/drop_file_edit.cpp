#include "app/drop_file_edit.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace zepra {

QStringList droppedFiles(const QMimeData* data) {
  QStringList files;
  if (data == nullptr || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (const QString file = url.toLocalFile(); !file.isEmpty()) files << file;
  return files;
}

namespace {

// The local path of the first dropped item, or empty when it is not a file.
QString firstDroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) return {};
  return data->urls().constFirst().toLocalFile();
}

}  // namespace

DropFileEdit::DropFileEdit(QWidget* parent) : QLineEdit(parent) { setAcceptDrops(true); }

void DropFileEdit::dragEnterEvent(QDragEnterEvent* event) {
  if (!firstDroppedFile(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
    return;
  }
  QLineEdit::dragEnterEvent(event);
}

void DropFileEdit::dragMoveEvent(QDragMoveEvent* event) {
  if (!firstDroppedFile(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
    return;
  }
  QLineEdit::dragMoveEvent(event);
}

void DropFileEdit::dropEvent(QDropEvent* event) {
  const QString path = firstDroppedFile(event->mimeData());
  if (path.isEmpty()) {
    QLineEdit::dropEvent(event);
    return;
  }
  setText(path);
  event->acceptProposedAction();
}

}  // namespace zepra
