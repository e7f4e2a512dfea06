#pragma once
// A small pool of converted frames handed from the video decoding thread to
// the thread that feeds the encoder, so that decoding and conversion of the
// next pictures go on while the encoder compresses the current one. The pool
// is fixed: the decoder waits for a free frame, never allocating per picture.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace zepra {

struct DecodedFrame {
  double time = 0.0;  // start in seconds
  std::vector<std::uint8_t> pixels;
};

class FrameQueue {
 public:
  FrameQueue(std::size_t frames, std::size_t frameBytes);

  // Producer: a free frame to fill, waiting for one; null after abort().
  DecodedFrame* acquire();
  void publish(DecodedFrame* frame);
  // No more frames will be published.
  void finish();

  // Consumer: the next published frame, waiting for one; null once the
  // producer has finished and everything was taken, or after abort().
  DecodedFrame* next();
  void release(DecodedFrame* frame);

  // Releases both sides at once; frames still queued are dropped.
  void abort();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<DecodedFrame> pool_;
  std::vector<DecodedFrame*> free_;
  std::deque<DecodedFrame*> ready_;
  bool finished_ = false;
  bool aborted_ = false;
};

}  // namespace zepra
