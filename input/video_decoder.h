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

  // Steps for a reader that decodes on its own thread and chooses which
  // pictures to keep (input/window_reader.h).
  // Sends a packet to the decoder; null drains it at the end of the input.
  void send(const AVPacket* packet);
  // The next decoded picture: its time and whether the decoder could start
  // from it. False when the decoder wants more input or is drained. The time
  // is NaN when it cannot be known: a picture without a stamp right after
  // the input was repositioned.
  bool receive(double& time, bool& key);
  // What becomes of the picture received: converted and published (false
  // once the frame queue was aborted); passed over, its time counting as if
  // it had been delivered; or dropped, as a picture that does not belong to
  // the movie decoded through (one decoded before the key frame it needs).
  bool publish(FrameQueue& frames, double time);
  void pass(double time);
  void drop();
  // Whether the decoder skips the pictures that no other picture refers to
  // (they change nothing in the others), and whether the last picture
  // received had a stamp of its own.
  void skipUnreferenced(bool skip);
  bool pictureStamped() const { return stamped_; }
  // Forgets the pictures the decoder holds, after the input was
  // repositioned: back at its start, or somewhere later.
  void restart(bool atStart);
  // A time on the movie's clock as a stamp of the stream (the stamp at or
  // before it), and the stamp's time.
  std::int64_t stampAt(double time) const;
  double stampTime(std::int64_t stamp) const;

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
  double frameTime(const AVFrame& picture) const;
  void keepTime(double time);
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
  bool atStart_ = true;  // decoding from the input's start
  bool stamped_ = true;
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
