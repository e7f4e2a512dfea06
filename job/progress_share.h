#pragma once
// One stage of a job that reports its own progress from 0 to 1000 permille,
// seen by the job's receiver as its stretch of the whole: while a
// ProgressShare lives it is the process's notify window, scales the stage's
// progress into from..to permille and passes status texts and warnings on;
// it puts the receiver back when it goes. The stage's frame total is not
// passed on: the whole job's permille is not of that many frames.

#include <string>

#include "platform/job_state.h"

namespace zepra {

class ProgressShare final : public NotifyWindow {
 public:
  // 0 <= from <= to <= 1000.
  ProgressShare(int from, int to);
  ~ProgressShare() override;
  ProgressShare(const ProgressShare&) = delete;
  ProgressShare& operator=(const ProgressShare&) = delete;

  void postDone(int) override {}
  void sendProgress(int permille) override;
  void sendStatus(const std::string& text) override;
  void sendWarning(const std::string& text, WarningAdvice advice = WarningAdvice::kNone) override;

 private:
  NotifyWindow* whole_;
  int from_;
  int to_;
};

}  // namespace zepra
