#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zepra {

namespace {

// Drawn at each size rather than scaled, so small sizes stay crisp.
QPixmap drawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 32.0;

  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x4b, 0x3f, 0x9e));  // console body
  p.drawRoundedRect(QRectF(1 * s, 7 * s, 30 * s, 18 * s), 7 * s, 7 * s);
  p.setBrush(QColor(0x1d, 0x22, 0x2b));  // screen frame
  p.drawRoundedRect(QRectF(9 * s, 9 * s, 14 * s, 14 * s), 1.5 * s, 1.5 * s);
  p.setBrush(QColor(0x9b, 0xd4, 0x6a));  // lit screen
  p.drawRect(QRectF(10.5 * s, 10.5 * s, 11 * s, 11 * s));
  QPainterPath play;  // the play sign
  play.moveTo(14 * s, 12.5 * s);
  play.lineTo(19.5 * s, 16 * s);
  play.lineTo(14 * s, 19.5 * s);
  play.closeSubpath();
  p.setBrush(QColor(0x1d, 0x22, 0x2b));
  p.drawPath(play);
  p.setBrush(QColor(0xe8, 0xe6, 0xf5));  // pad and buttons
  p.drawRect(QRectF(3.5 * s, 15 * s, 4 * s, 1.6 * s));
  p.drawRect(QRectF(4.7 * s, 13.8 * s, 1.6 * s, 4 * s));
  p.drawEllipse(QRectF(25.5 * s, 12.8 * s, 2.6 * s, 2.6 * s));
  p.drawEllipse(QRectF(23.4 * s, 16.6 * s, 2.6 * s, 2.6 * s));
  return pixmap;
}

}  // namespace

QIcon appIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(drawIcon(size));
  return icon;
}

}  // namespace zepra
