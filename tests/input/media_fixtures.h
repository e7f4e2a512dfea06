#pragma once
// Test clips made with the ffmpeg command in a private folder, and a media
// sink that records what a decoder hands it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "media/media_sink.h"

namespace zepra::test {

// A private temporary folder, removed with everything in it.
class ClipFolder {
 public:
  ClipFolder();
  ~ClipFolder();
  ClipFolder(const ClipFolder&) = delete;
  ClipFolder& operator=(const ClipFolder&) = delete;

  std::filesystem::path path(const std::string& name) const { return dir_ / name; }
  // Runs `ffmpeg <arguments> <folder>/<name>`; the path of the clip, or
  // empty when ffmpeg failed.
  std::string make(const std::string& name, const std::string& arguments) const;

 private:
  std::filesystem::path dir_;
};

std::vector<std::uint8_t> readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
// Writes the display matrix of the first track of an MP4 file (the video
// track of the clips made here) so that players turn its pictures clockwise
// by the given quarter turns; false when the file has no track header.
bool setMp4Rotation(std::vector<std::uint8_t>& bytes, int clockwiseDegrees, int width, int height);
// First frame of a clip as ffmpeg itself decodes it: bgr24, top-down, unpadded.
std::vector<std::uint8_t> ffmpegFirstFrame(const std::string& clip);

struct VideoCall {
  double time;
  std::uint32_t length;
};

// Records everything; accepts what the encoder would (24-bit RGB; 8/16-bit
// PCM in 1 or 2 channels) and derives the source rate as the encoder does.
class RecordingSink : public MediaSink {
 public:
  void setContainerFrameRate(std::uint32_t rate, std::uint32_t scale) override;
  bool setPictureAspect(const VideoInfoHeader2& format) override;
  bool acceptVideoFormat(const VideoInfoHeader& format) override;
  bool acceptAudioFormat(const WaveFormatEx& format) override;
  std::uint32_t sourceRate() const override { return rate; }
  std::uint32_t sourceScale() const override { return scale; }
  bool addVideoSample(double time, const std::uint8_t* data, std::uint32_t length) override;
  void addAudioBuffer(const std::uint8_t* data, std::uint32_t length) override;

  // Set by a test once the run has returned: any later callback is counted.
  std::atomic<bool> runReturned{false};
  std::atomic<int> callsAfterRun{0};
  // Each video call sleeps this long, to make a run last.
  int videoDelayMs = 0;
  bool refuseVideo = false;
  // From this frame on addVideoSample fails, as an encoder that broke down.
  std::size_t failFromFrame = SIZE_MAX;

  std::vector<std::string> order;  // names of the calls made while building
  std::uint32_t containerRate = 0, containerScale = 0;
  std::uint32_t rate = 0, scale = 0;
  VideoInfoHeader2 aspect;
  VideoInfoHeader video;
  WaveFormatEx audio;
  std::vector<VideoCall> frames;
  std::vector<std::uint8_t> firstFrame;
  std::vector<std::uint8_t> sound;  // every audio byte, in order
  int audioCalls = 0;
  std::atomic<int> videoCalls{0};

 private:
  void noteLateCall();
  std::mutex mutex_;
};

}  // namespace zepra::test
