#pragma once
// A static text that is a web address: underlined, the hand cursor while the
// mouse is over it, and a left click opens the address in the desktop's
// browser.

#include <QLabel>

namespace zepra {

class LinkStatic : public QLabel {
  Q_OBJECT

 public:
  explicit LinkStatic(const QString& address, QWidget* parent = nullptr);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

}  // namespace zepra
