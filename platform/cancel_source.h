#pragma once
// The cancel request of one job. The front end that started the job holds
// it and asks the job to stop (the dialog's Cancel, a Ctrl-C); only that job
// sees the request. The job honours it where it looks: while the input is
// decoded it polls every half second, and once more before the finished
// image is put in place. A request stays until the job has seen it, so an
// early one is not lost.

#include <atomic>

namespace zepra {

class CancelSource {
 public:
  CancelSource() = default;
  CancelSource(const CancelSource&) = delete;
  CancelSource& operator=(const CancelSource&) = delete;

  // Asks the job to stop. False when it comes too late: the job has passed
  // its last cancel point and its result stands. Safe from any thread.
  bool requestCancel();
  bool cancelRequested() const;

  // The job's last cancel point, just before its image replaces the output:
  // true when no cancel was requested, and later requests are then refused.
  bool passLastCancelPoint();

 private:
  enum State { kRunning, kCancelRequested, kPastLastPoint };
  std::atomic<int> state_{kRunning};
};

}  // namespace zepra
