#pragma once
// The program's icon: a handheld console whose screen shows a play sign.

#include <QIcon>

namespace zepra {

QIcon appIcon();

}  // namespace zepra
