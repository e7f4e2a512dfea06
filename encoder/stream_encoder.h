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
#include "encoder/media_sink.h"

namespace zepra {

class StreamEncoder final : public MediaSink {
 public:
  explicit StreamEncoder(CompressorLocator locate = locateCinepakCompressor);
  ~StreamEncoder() override;
  StreamEncoder(const StreamEncoder&) = delete;
  StreamEncoder& operator=(const StreamEncoder&) = delete;

  bool setOutputName(const char* path);
  // trim: left, bottom, right, top. False (nothing stored) when a value is out of range.
  bool setOptions(const int trim[4], bool autoTrim, int width, int height, int frameRateMode,
                  int preFilter, int bitrate, float gamma);

  void setContainerFrameRate(std::uint32_t rate, std::uint32_t scale) override;
  bool setPictureAspect(const VideoInfoHeader2& format) override;
  bool acceptVideoFormat(const VideoInfoHeader& format) override;
  bool acceptAudioFormat(const WaveFormatEx& format) override;

  bool openStream(std::uint32_t frameCount);
  bool addVideoSample(double time, const std::uint8_t* data, std::uint32_t length) override;
  bool encodeFrame(const std::uint8_t* data, std::uint32_t length);
  void addAudioBuffer(const std::uint8_t* data, std::uint32_t length) override;
  bool closeStream();

  std::uint32_t sourceRate() const override;
  std::uint32_t sourceScale() const override;

 private:
  // Fields are grouped by concern: session and counters, pacing, geometry
  // and frame buffers, sound.
};

}  // namespace zepra
