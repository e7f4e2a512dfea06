#include "app/link_static.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace zepra {

LinkStatic::LinkStatic(const QString& address, QWidget* parent) : QLabel(address, parent) {
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, colours.color(QPalette::Link));
  setPalette(colours);
  // The toolkit shows the hand while the mouse is over the link and puts the
  // previous cursor back when it leaves or the window loses activation.
  setCursor(Qt::PointingHandCursor);
  setTextInteractionFlags(Qt::NoTextInteraction);
}

void LinkStatic::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && !text().isEmpty()) {
    QDesktopServices::openUrl(QUrl::fromUserInput(text()));
    event->accept();
    return;
  }
  QLabel::mousePressEvent(event);
}

}  // namespace zepra
