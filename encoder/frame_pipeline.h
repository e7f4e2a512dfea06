#pragma once
// Frames handed from the thread that prepares them to a thread that
// compresses them, in order, through a few buffers of one frame each, so
// that the next frame is prepared while one is compressed. Without that
// thread each handed frame is consumed at once, on the caller's thread; the
// frames consumed and their order are the same either way. An exception
// from the consumer reaches the preparing side at its next submit or at
// finish; the frames after it are dropped.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zepra {

class FramePipeline {
 public:
  using Consumer = std::function<void(const std::uint8_t* frame)>;

  FramePipeline() = default;
  ~FramePipeline();
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // Buffers of frameBytes; overlapped: the consuming thread starts here, once.
  void start(std::size_t frameBytes, bool overlapped, Consumer consume);
  // A buffer to fill, once one is free. A buffer keeps its bytes until it is
  // handed out again.
  std::uint8_t* acquire();
  // Queues a filled buffer for the consumer (or consumes it at once).
  void submit(std::uint8_t* frame);
  // Returns once every submitted frame is consumed; ends the thread, so that
  // later frames are consumed at once.
  void finish();

 private:
  void work();
  void release(std::uint8_t* frame);

  std::vector<std::vector<std::uint8_t>> buffers_;
  Consumer consume_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::uint8_t*> free_;
  std::deque<std::uint8_t*> queued_;
  bool finishing_ = false;
  std::exception_ptr failure_;  // the consumer's, not yet passed on
  std::thread thread_;
};

}  // namespace zepra
