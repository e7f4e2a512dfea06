#pragma once
// The only path by which decoded data enters the encoder: one callback object
// per stream, called on that stream's decoding thread for every sample.

#include <cstdint>

namespace zepra {

class MediaSink;

class VideoSampleCallback {
 public:
  explicit VideoSampleCallback(MediaSink& encoder) : encoder_(encoder) {}
  // time: the frame's start in seconds. Every buffer is forwarded, whatever
  // its length: the encoder treats an empty one as a repeat of the last frame.
  // False once the encoder has failed and takes no more frames.
  bool bufferCB(double time, const std::uint8_t* buffer, std::int32_t length);

 private:
  MediaSink& encoder_;
};

class AudioSampleCallback {
 public:
  explicit AudioSampleCallback(MediaSink& encoder) : encoder_(encoder) {}
  // Buffers of no bytes are dropped; the time is not passed on, because the
  // encoder appends sound back to back.
  void bufferCB(double time, const std::uint8_t* buffer, std::int32_t length);

 private:
  MediaSink& encoder_;
};

}  // namespace zepra
