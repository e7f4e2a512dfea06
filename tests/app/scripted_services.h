#pragma once
// A test double for the dialog's desktop services: it records every message
// box and answers it at once (with a scripted reply, else the box's default
// button), answers file dialogs from a script and counts beeps.

#include <QList>
#include <QStringList>

#include "app/dialog_services.h"

namespace zepra::test {

struct ShownMessage {
  QMessageBox::Icon icon;
  QString caption;
  QString text;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton;
};

class ScriptedServices final : public DialogServices {
 public:
  QMessageBox::StandardButton showMessage(QWidget*, QMessageBox::Icon icon, const QString& caption,
                                          const QString& text, QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton) override {
    messages.append({icon, caption, text, buttons, defaultButton});
    return replies.isEmpty() ? defaultButton : replies.takeFirst();
  }
  QString chooseFile(QWidget*, const FileRequest& request) override {
    fileRequests.append(request);
    return chosenFiles.isEmpty() ? QString() : chosenFiles.takeFirst();
  }
  QStringList chooseFiles(QWidget*, const FileRequest& request) override {
    fileRequests.append(request);
    return chosenFileLists.isEmpty() ? QStringList() : chosenFileLists.takeFirst();
  }
  void beep() override { ++beeps; }

  QList<ShownMessage> messages;
  QList<QMessageBox::StandardButton> replies;
  QList<FileRequest> fileRequests;
  QStringList chosenFiles;
  QList<QStringList> chosenFileLists;  // answers of the dialogs that take several files
  int beeps = 0;
};

}  // namespace zepra::test
