#pragma once
// A bounded hand-over of compressed packets from the demuxing thread to a
// decoding thread. The producer blocks while the queue is full, so demuxing
// never runs far ahead of decoding; abort() releases both sides at once.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "input/ffmpeg_handles.h"

namespace zepra {

class PacketQueue {
 public:
  explicit PacketQueue(std::size_t capacity) : capacity_(capacity) {}

  // Waits for room; false (the packet dropped) once the queue was aborted.
  bool push(PacketPtr packet);
  // Waits for a packet; null once the producer has finished and everything
  // was taken, or at once after abort().
  PacketPtr pop();
  // No more packets will come.
  void finish();
  // Stops both sides: pending packets are dropped, waiting calls return.
  void abort();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<PacketPtr> packets_;
  std::size_t capacity_;
  bool finished_ = false;
  bool aborted_ = false;
};

}  // namespace zepra
