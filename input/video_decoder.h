#pragma once
// The video half of the decoding graph: the stream's decoder, its time
// stamps, and the conversion of every decoded picture into the encoder's
// 24-bit frames. Decoding and conversion run on one thread, the hand-over to
// the video callback on another, so the encoder never waits for a picture
// that could have been prepared while it compressed the last one.

#include <atomic>
#include <cmath>
#include <cstdint>

#include "media/media_formats.h"
#include "input/ffmpeg_handles.h"
#include "input/video_frame_converter.h"

namespace zepra {

class FrameQueue;
class PacketQueue;
class VideoSampleCallback;

// Result of opening a decoder when the stream cannot be decoded at all.
inline constexpr int kStreamUnsupported = 1;

class VideoDecoder {
 public:
  // 0 when the decoder is ready; kStreamUnsupported when no decoder or no
  // conversion to 24-bit RGB exists; otherwise FFmpeg's error code.
  // originStamp: the time stamp, in the stream's time base, that becomes 0
  // for the encoder.
  int open(const AVFormatContext& container, AVStream& stream, std::int64_t originStamp);

  VideoInfoHeader format() const;
  std::uint32_t frameBytes() const { return converter_.frameBytes(); }
  // The display aspect X:Y, or 0:0 when the pixels are square or unknown.
  VideoInfoHeader2 pictureAspect() const { return aspect_; }

  // The decoding thread: decodes every packet of the queue, drains the
  // decoder at the end, and publishes each converted picture; finishes the
  // frame queue when done. Returns early once stop is set.
  void decode(PacketQueue& packets, FrameQueue& frames, const std::atomic<bool>& stop);
  // The encoding thread: hands every published frame to the callback, until
  // the frames end or the encoder fails.
  void deliver(FrameQueue& frames, VideoSampleCallback& callback);

  std::uint64_t framesDelivered() const { return framesDelivered_; }
  // True when the encoder refused a frame: it takes no more.
  bool encoderFailed() const { return encoderFailed_; }
  // The last decoding error met (0: none); a damaged packet does not end decoding.
  int lastError() const { return lastError_; }
  // True when a decoded picture came in a pixel format that cannot be converted.
  bool metUnconvertiblePicture() const { return unconvertible_; }
  // The latest end of a decoded picture on the stream's clock, in seconds;
  // NaN before the first.
  double endTime() const { return endTime_; }

 private:
  void receiveFrames(FrameQueue& frames, const std::atomic<bool>& stop);
  double frameTime(const AVFrame& picture);
  void noteEnd(const AVFrame& picture);

  CodecContextPtr codec_;
  FramePtr picture_;
  VideoFrameConverter converter_;
  VideoInfoHeader2 aspect_;
  std::int64_t averageFrameDuration_ = 0;  // 100 ns units; 0 = unknown
  AVRational timeBase_{1, 1};
  std::int64_t originStamp_ = 0;
  // Written by the decoding thread.
  std::uint64_t framesConverted_ = 0;
  double lastTime_ = 0.0;
  double endTime_ = NAN;
  int lastError_ = 0;
  bool unconvertible_ = false;
  bool aborted_ = false;
  // Written by the encoding thread.
  std::uint64_t framesDelivered_ = 0;
  bool encoderFailed_ = false;
};

}  // namespace zepra
