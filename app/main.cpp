// zepra: the desktop converter. One dialog; closing it ends the program.

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
  dialog.exec();
  return 0;
}
