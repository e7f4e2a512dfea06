// zepra: the desktop converter. One dialog; closing it ends the program.
// The arguments, if any, name the video to convert, or several videos for
// one cartridge.

#include <QApplication>

#include "app/app_icon.h"
#include "app/main_dialog.h"
#include "platform/signal_cleanup.h"

int main(int argc, char** argv) {
  // A signal that ends the program leaves no temporary file of a job behind.
  zepra::installSignalCleanup();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ZEPRA"));
  QApplication::setWindowIcon(zepra::appIcon());
  zepra::MainDialog dialog;
  // The files to convert, as the desktop entry passes them.
  dialog.takeInputFiles(QApplication::arguments().mid(1));
  dialog.exec();
  return 0;
}
