#pragma once
// What a decoder feeds: the formats while the decoding graph is built, then
// the decoded frames and sound while it runs. The StreamEncoder is the one
// real sink; the decoding graph knows only this face of it.

#include <cstdint>

#include "media/media_formats.h"

namespace zepra {

class MediaSink {
 public:
  virtual ~MediaSink() = default;

  // While the graph is built, in this order.
  // The container's nominal frame rate, used when the format carries none.
  virtual void setContainerFrameRate(std::uint32_t rate, std::uint32_t scale) = 0;
  virtual bool setPictureAspect(const VideoInfoHeader2& format) = 0;
  virtual bool acceptVideoFormat(const VideoInfoHeader& format) = 0;
  virtual bool acceptAudioFormat(const WaveFormatEx& format) = 0;
  // Source frame rate after acceptVideoFormat: rate / scale frames per second.
  virtual std::uint32_t sourceRate() const = 0;
  virtual std::uint32_t sourceScale() const = 0;

  // While the graph runs: video from one thread, sound from another.
  // time: the frame's start in seconds; data: a frame in the accepted format.
  // False once the encoder has failed (lastErrorText says why): it takes no
  // further frames, and the run should stop and count as failed.
  virtual bool addVideoSample(double time, const std::uint8_t* data, std::uint32_t length) = 0;
  // data: interleaved PCM frames in the accepted format.
  virtual void addAudioBuffer(const std::uint8_t* data, std::uint32_t length) = 0;
};

}  // namespace zepra
