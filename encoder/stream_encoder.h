#pragma once
// The StreamEncoder turns the decoded frames and sound of one job into a
// stream file: a header, one record per compressed frame and the audio
// trailer. Calling order within a job: setOutputName, setOptions, then (while
// the decoding graph is built) setContainerFrameRate, setPictureAspect,
// acceptVideoFormat and acceptAudioFormat, then openStream, then the frames
// and sound from the decoding threads, then closeStream, then destruction.

#include <cstdint>

#include "audio/audio_track.h"
#include "cinepak/video_compressor.h"
#include "encoder/media_formats.h"

namespace zepra {

class StreamEncoder {
 public:
  explicit StreamEncoder(CompressorLocator locate = locateCinepakCompressor);
  ~StreamEncoder();
  StreamEncoder(const StreamEncoder&) = delete;
  StreamEncoder& operator=(const StreamEncoder&) = delete;

  bool setOutputName(const char* path);
  // trim: left, bottom, right, top. False (nothing stored) when a value is out of range.
  bool setOptions(const int trim[4], bool autoTrim, int width, int height, int frameRateMode,
                  int preFilter, int bitrate, float gamma);

  // The container's nominal frame rate, used when the format carries none.
  void setContainerFrameRate(std::uint32_t rate, std::uint32_t scale);
  bool setPictureAspect(const VideoInfoHeader2& format);
  bool acceptVideoFormat(const VideoInfoHeader& format);
  bool acceptAudioFormat(const WaveFormatEx& format);

  bool openStream(std::uint32_t frameCount);
  bool addVideoSample(double time, const std::uint8_t* data, std::uint32_t length);
  bool encodeFrame(const std::uint8_t* data, std::uint32_t length);
  void addAudioBuffer(const std::uint8_t* data, std::uint32_t length);
  bool closeStream();

  // Source frame rate after acceptVideoFormat: rate / scale frames per second.
  std::uint32_t sourceRate() const;
  std::uint32_t sourceScale() const;

 private:
  // Fields are grouped by concern: session and counters, pacing, geometry
  // and frame buffers, sound.
};

}  // namespace zepra
