#pragma once
// Everything the dialog asks of the desktop that stops and waits for the user
// (message boxes, file dialogs) or that makes a sound. Tests answer these
// without blocking; the program uses QtDialogServices.

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace zepra {

// What a file dialog is asked for.
struct FileRequest {
  bool save = false;    // save dialog (the folder must exist) or open dialog (the file must exist)
  QString directory;    // initial folder
  QStringList filters;  // "Description (*.a *.b)" entries
  QString defaultSuffix;
};

class DialogServices {
 public:
  virtual ~DialogServices() = default;
  // A modal message box; returns the button that closed it.
  virtual QMessageBox::StandardButton showMessage(QWidget* parent, QMessageBox::Icon icon,
                                                  const QString& caption, const QString& text,
                                                  QMessageBox::StandardButtons buttons,
                                                  QMessageBox::StandardButton defaultButton) = 0;
  // The chosen file's full path, or empty when the user cancelled.
  virtual QString chooseFile(QWidget* parent, const FileRequest& request) = 0;
  // Several existing files from one open dialog, in the order the dialog
  // gives them; empty when the user cancelled.
  virtual QStringList chooseFiles(QWidget* parent, const FileRequest& request) = 0;
  // The desktop's "information" sound.
  virtual void beep() = 0;
};

class QtDialogServices final : public DialogServices {
 public:
  QMessageBox::StandardButton showMessage(QWidget* parent, QMessageBox::Icon icon,
                                          const QString& caption, const QString& text,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton) override;
  QString chooseFile(QWidget* parent, const FileRequest& request) override;
  QStringList chooseFiles(QWidget* parent, const FileRequest& request) override;
  void beep() override;
};

}  // namespace zepra
