#include "encoder/frame_pipeline.h"

#include <utility>

namespace zepra {

namespace {
// One frame being compressed, one waiting, one being prepared.
constexpr std::size_t kOverlappedFrames = 3;
}  // namespace

FramePipeline::~FramePipeline() {
  try {
    finish();
  } catch (...) {
    // The owner is going away: there is nobody left to tell.
  }
}

void FramePipeline::start(std::size_t frameBytes, bool overlapped, Consumer consume) {
  finish();
  consume_ = std::move(consume);
  buffers_.assign(overlapped ? kOverlappedFrames : 1, std::vector<std::uint8_t>(frameBytes));
  free_.clear();
  for (auto& buffer : buffers_) free_.push_back(buffer.data());
  queued_.clear();
  if (overlapped) thread_ = std::thread([this] { work(); });
}

std::uint8_t* FramePipeline::acquire() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return !free_.empty(); });
  std::uint8_t* frame = free_.back();
  free_.pop_back();
  return frame;
}

void FramePipeline::submit(std::uint8_t* frame) {
  if (!thread_.joinable()) {
    try {
      consume_(frame);
    } catch (...) {
      release(frame);
      throw;
    }
    release(frame);
    return;
  }
  std::lock_guard lock(mutex_);
  if (failure_) {
    free_.push_back(frame);
    std::rethrow_exception(std::exchange(failure_, nullptr));
  }
  queued_.push_back(frame);
  changed_.notify_all();
}

void FramePipeline::release(std::uint8_t* frame) {
  std::lock_guard lock(mutex_);
  free_.push_back(frame);
  changed_.notify_all();
}

void FramePipeline::work() {
  for (;;) {
    std::uint8_t* frame = nullptr;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return finishing_ || !queued_.empty(); });
      if (queued_.empty()) return;
      frame = queued_.front();
      queued_.pop_front();
    }
    try {
      consume_(frame);
    } catch (...) {
      std::lock_guard lock(mutex_);
      failure_ = std::current_exception();
      for (std::uint8_t* dropped : queued_) free_.push_back(dropped);
      queued_.clear();
    }
    release(frame);
  }
}

void FramePipeline::finish() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
    changed_.notify_all();
  }
  thread_.join();
  finishing_ = false;
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace zepra
