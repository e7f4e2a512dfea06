// zepra: the desktop converter. One dialog; closing it ends the program.

#include <QApplication>

#include "app/app_icon.h"
#include "app/main_dialog.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ZEPRA"));
  QApplication::setWindowIcon(zepra::appIcon());
  zepra::MainDialog dialog;
  dialog.exec();
  return 0;
}
