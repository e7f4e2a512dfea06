#include "app/dialog_services.h"

#include <QApplication>
#include <QFileDialog>

namespace zepra {

QMessageBox::StandardButton QtDialogServices::showMessage(QWidget* parent, QMessageBox::Icon icon,
                                                          const QString& caption,
                                                          const QString& text,
                                                          QMessageBox::StandardButtons buttons,
                                                          QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, caption, text, buttons, parent);
  box.setDefaultButton(defaultButton);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

namespace {

// The files chosen in a file dialog set up for `request`; `several` lets an
// open dialog take more than one.
QStringList runFileDialog(QWidget* parent, const FileRequest& request, bool several) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save  ? QFileDialog::AnyFile
                     : several     ? QFileDialog::ExistingFiles
                                   : QFileDialog::ExistingFile);
  // Replacing an existing image is asked when the job starts, not here.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setNameFilters(request.filters);
  dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.directory.isEmpty()) dialog.setDirectory(request.directory);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles();
}

}  // namespace

QString QtDialogServices::chooseFile(QWidget* parent, const FileRequest& request) {
  const QStringList files = runFileDialog(parent, request, false);
  return files.isEmpty() ? QString() : files.constFirst();
}

QStringList QtDialogServices::chooseFiles(QWidget* parent, const FileRequest& request) {
  return runFileDialog(parent, request, true);
}

void QtDialogServices::beep() { QApplication::beep(); }

}  // namespace zepra
