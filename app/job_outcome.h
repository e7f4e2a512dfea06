#pragma once
// What the user is told when a job ends: the asterisk sound for a written
// image, a message box for everything else.

#include <QString>

#include <string>

namespace zepra {

struct JobOutcome {
  bool beepOnly = false;  // success: no box, only the sound
  QString text;
  QString caption;
};

// cancelled wins over the result code: a cancelled job reports a failed run.
JobOutcome describeOutcome(bool cancelled, int resultCode, const std::string& errorDetail);

}  // namespace zepra
