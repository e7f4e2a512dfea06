#pragma once
// Runs the iterations of a loop on up to two threads: the caller and a helper
// thread, started once with the object, take slices of the loop in turn
// until none is left. A helper that is slow to wake (the other core is busy)
// costs the caller nothing but the slice it is working on: the caller takes
// the rest itself. The iterations must not depend on one another, so what
// they compute is the same however the loop was split; run() returns when
// all have finished.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace zepra {

class SplitLoop {
 public:
  // The threads the processor offers, at most two.
  static int defaultThreads();

  explicit SplitLoop(int threads = defaultThreads());
  ~SplitLoop();
  SplitLoop(const SplitLoop&) = delete;
  SplitLoop& operator=(const SplitLoop&) = delete;

  int threads() const { return helper_.joinable() ? 2 : 1; }

  // Calls body(begin, end) over parts of 0..count-1.
  template <class Body>
  void run(int count, Body&& body) {
    dispatch(count, [](void* context, int begin, int end) { (*static_cast<Body*>(context))(begin, end); }, &body);
  }

 private:
  using Task = void (*)(void* context, int begin, int end);
  void dispatch(int count, Task task, void* context);
  void takeSlices(Task task, void* context, int count, int slice);
  void work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  // The loop the helper may join while task_ is set.
  Task task_ = nullptr;
  void* context_ = nullptr;
  int count_ = 0;
  int slice_ = 0;
  std::uint64_t posted_ = 0;  // loops posted to the helper
  bool helperBusy_ = false;
  bool stop_ = false;
  std::atomic<int> next_{0};  // the first iteration nobody has taken
  std::thread helper_;
};

}  // namespace zepra
