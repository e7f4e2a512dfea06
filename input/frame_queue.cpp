#include "input/frame_queue.h"

namespace zepra {

FrameQueue::FrameQueue(std::size_t frames, std::size_t frameBytes) : pool_(frames) {
  for (DecodedFrame& frame : pool_) {
    frame.pixels.assign(frameBytes, 0);
    free_.push_back(&frame);
  }
}

DecodedFrame* FrameQueue::acquire() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return aborted_ || !free_.empty(); });
  if (aborted_) return nullptr;
  DecodedFrame* frame = free_.back();
  free_.pop_back();
  return frame;
}

void FrameQueue::publish(DecodedFrame* frame) {
  std::lock_guard lock(mutex_);
  ready_.push_back(frame);
  changed_.notify_all();
}

void FrameQueue::finish() {
  std::lock_guard lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

DecodedFrame* FrameQueue::next() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return aborted_ || finished_ || !ready_.empty(); });
  if (aborted_ || ready_.empty()) return nullptr;
  DecodedFrame* frame = ready_.front();
  ready_.pop_front();
  return frame;
}

void FrameQueue::release(DecodedFrame* frame) {
  std::lock_guard lock(mutex_);
  free_.push_back(frame);
  changed_.notify_all();
}

void FrameQueue::abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  changed_.notify_all();
}

}  // namespace zepra
