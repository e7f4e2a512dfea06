// zepra: the desktop converter. One dialog; closing it ends the program.
// The first argument, if any, names the video to convert.

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
  // A file to convert, as the desktop entry passes it.
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) dialog.takeInputFile(arguments.at(1));
  dialog.exec();
  return 0;
}
