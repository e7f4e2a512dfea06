#pragma once
// An encoder driven the way a job drives it, with the compressor double and
// a notification receiver that records what it is sent.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "encoder/stream_encoder.h"
#include "platform/job_state.h"
#include "tests/encoder/fake_compressor.h"
#include "tests/encoder/stream_walker.h"

namespace zepra::test {

class RecordingWindow final : public NotifyWindow {
 public:
  void postDone(int result) override { done.push_back(result); }
  void sendProgress(int permille) override { progress.push_back(permille); }
  void sendStatus(const std::string& text) override { statuses.push_back(text); }
  std::vector<int> done;
  std::vector<int> progress;
  std::vector<std::string> statuses;
};

struct SourceVideo {
  int width = 240;
  int height = 160;
  std::int64_t frameDuration = 333333;  // 100 ns units; 30 frames/s
  int frameRateMode = 0;
  int bitrate = 120;
  int outputWidth = -1;
  int outputHeight = -1;
};

class EncoderTest : public ::testing::Test {
 protected:
  EncoderTest() {
    notifyWindow = &window;
    jobCancelled = false;
    lastProgressSent = -1;
  }
  ~EncoderTest() override { notifyWindow = nullptr; }

  // Names, configures and accepts the source's format; true when all succeeded.
  bool configure(const SourceVideo& source) {
    source_ = source;
    const int trim[4] = {0, 0, 0, 0};
    VideoInfoHeader format;
    format.AvgTimePerFrame = source.frameDuration;
    format.bmiHeader.biWidth = source.width;
    format.bmiHeader.biHeight = source.height;
    return encoder.setOutputName(path.c_str()) &&
           encoder.setOptions(trim, false, source.outputWidth, source.outputHeight,
                              source.frameRateMode, 0, source.bitrate, 1.0f) &&
           encoder.acceptVideoFormat(format);
  }

  bool open(const SourceVideo& source, std::uint32_t frameCount) {
    return configure(source) && encoder.openStream(frameCount);
  }

  // A decoded frame of the source's size, every byte value.
  std::vector<std::uint8_t> decodedFrame(std::uint8_t value) const {
    const std::size_t row = (static_cast<std::size_t>(source_.width) * 3 + 3) & ~std::size_t{3};
    return std::vector<std::uint8_t>(row * source_.height, value);
  }

  bool add(double time, std::uint8_t value) {
    const auto frame = decodedFrame(value);
    return encoder.addVideoSample(time, frame.data(), static_cast<std::uint32_t>(frame.size()));
  }

  RecordingWindow window;
  std::shared_ptr<FakeCompressorScript> script = std::make_shared<FakeCompressorScript>();
  std::string path = temporaryPath("stream.bin");
  StreamEncoder encoder{fakeCompressorLocator(script)};
  SourceVideo source_;
};

}  // namespace zepra::test
