#pragma once
// A one-line edit that also takes a file dropped on it: its text becomes the
// full path of the first dropped file; further files are ignored.

#include <QLineEdit>
#include <QStringList>

class QMimeData;

namespace zepra {

// The local files among dropped items, in their order.
QStringList droppedFiles(const QMimeData* data);

class DropFileEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit DropFileEdit(QWidget* parent = nullptr);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace zepra
