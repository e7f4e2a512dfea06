#include "cinepak/split_loop.h"

namespace zepra {

namespace {
// Below this many iterations waking the helper costs more than it saves.
constexpr int kSmallestSplit = 32;
}

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

void SplitLoop::dispatch(int count, Task task, void* context) {
  if (count <= 0) return;
  if (!helper_.joinable() || count < kSmallestSplit) {
    task(context, 0, count);
    return;
  }
  const int half = count / 2;
  {
    std::lock_guard lock(mutex_);
    task_ = task;
    context_ = context;
    begin_ = half;
    end_ = count;
  }
  wake_.notify_one();
  task(context, 0, half);
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [this] { return task_ == nullptr; });
}

void SplitLoop::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || task_ != nullptr; });
    if (stop_) return;
    const Task task = task_;
    void* const context = context_;
    const int begin = begin_, end = end_;
    lock.unlock();
    task(context, begin, end);
    lock.lock();
    task_ = nullptr;
    finished_.notify_one();
  }
}

}  // namespace zepra
