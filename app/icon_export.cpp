// Writes the program's icon as PNG files in the layout of an icon theme
// (DIR/NxN/apps/zepra.png), so that the installed desktop entry shows the
// same icon as the dialog's window.

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>

#include <cstdio>

#include "app/app_icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s THEME_FOLDER\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QDir theme(QString::fromLocal8Bit(argv[1]));
  const QIcon icon = zepra::appIcon();
  for (const QSize& size : icon.availableSizes()) {
    const QString folder = QStringLiteral("%1x%2/apps").arg(size.width()).arg(size.height());
    if (!theme.mkpath(folder) || !icon.pixmap(size).save(theme.filePath(folder + "/zepra.png"), "PNG")) {
      std::fprintf(stderr, "%s: cannot write the %dx%d icon in %s\n", argv[0], size.width(), size.height(),
                   argv[1]);
      return 1;
    }
  }
  return 0;
}
