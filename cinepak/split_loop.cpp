#include "cinepak/split_loop.h"

#include <algorithm>

namespace zepra {

namespace {
// Below this many iterations waking the helper costs more than it saves.
constexpr int kSmallestSplit = 32;
// A loop is cut into about this many slices: small enough that a late helper
// leaves the caller little to wait for, large enough that taking one is rare.
constexpr int kSlicesPerLoop = 16;
constexpr int kSmallestSlice = 8;
}  // namespace

int SplitLoop::defaultThreads() { return std::thread::hardware_concurrency() >= 2 ? 2 : 1; }

SplitLoop::SplitLoop(int threads) {
  if (threads >= 2) helper_ = std::thread([this] { work(); });
}

SplitLoop::~SplitLoop() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  helper_.join();
}

void SplitLoop::takeSlices(Task task, void* context, int count, int slice) {
  for (;;) {
    const int begin = next_.fetch_add(slice, std::memory_order_relaxed);
    if (begin >= count) return;
    task(context, begin, std::min(count, begin + slice));
  }
}

void SplitLoop::dispatch(int count, Task task, void* context) {
  if (count <= 0) return;
  if (!helper_.joinable() || count < kSmallestSplit) {
    task(context, 0, count);
    return;
  }
  const int slice = std::max(kSmallestSlice, count / kSlicesPerLoop);
  {
    std::lock_guard lock(mutex_);
    task_ = task;
    context_ = context;
    count_ = count;
    slice_ = slice;
    next_.store(0, std::memory_order_relaxed);
    ++posted_;
  }
  wake_.notify_one();
  takeSlices(task, context, count, slice);
  // Once the loop is withdrawn the helper cannot join it any more; a slice it
  // has taken is waited for.
  std::unique_lock lock(mutex_);
  task_ = nullptr;
  finished_.wait(lock, [this] { return !helperBusy_; });
}

void SplitLoop::work() {
  std::unique_lock lock(mutex_);
  std::uint64_t joined = 0;
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || (task_ != nullptr && posted_ != joined); });
    if (stop_) return;
    joined = posted_;
    helperBusy_ = true;
    const Task task = task_;
    void* const context = context_;
    const int count = count_, slice = slice_;
    lock.unlock();
    takeSlices(task, context, count, slice);
    lock.lock();
    helperBusy_ = false;
    finished_.notify_one();
  }
}

}  // namespace zepra
