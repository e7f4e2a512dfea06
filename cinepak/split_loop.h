#pragma once
// Runs the iterations of a loop on up to two threads: the caller takes the
// first part and a helper thread, started once with the object, the rest.
// The iterations must not depend on one another, so what they compute is the
// same however the loop was split; run() returns when all have finished.

#include <condition_variable>
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
  void work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  Task task_ = nullptr;  // the helper's part while it is set
  void* context_ = nullptr;
  int begin_ = 0;
  int end_ = 0;
  bool stop_ = false;
  std::thread helper_;
};

}  // namespace zepra
