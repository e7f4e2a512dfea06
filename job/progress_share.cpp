#include "job/progress_share.h"

#include <algorithm>

namespace zepra {

ProgressShare::ProgressShare(int from, int to) : whole_(notifyWindow.load()), from_(from), to_(to) {
  notifyWindow = this;
}

ProgressShare::~ProgressShare() { notifyWindow = whole_; }

void ProgressShare::sendProgress(int permille) {
  // Repeats past the announced length go above 1000; the stage ends at its share.
  const int within = std::clamp(permille, 0, 1000);
  if (whole_ != nullptr) whole_->sendProgress(from_ + (to_ - from_) * within / 1000);
}

void ProgressShare::sendStatus(const std::string& text) {
  if (whole_ != nullptr) whole_->sendStatus(text);
}

void ProgressShare::sendWarning(const std::string& text, WarningAdvice advice) {
  if (whole_ != nullptr) whole_->sendWarning(text, advice);
}

}  // namespace zepra
