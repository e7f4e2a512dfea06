#include "fake_graph.h"

#include <stdexcept>

#include "media/media_sink.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"

namespace zepra::test {

namespace {

class FakeGraph : public DecodingGraph {
 public:
  explicit FakeGraph(GraphScript& script) : script_(script) {}

  bool buildDecodingGraph(const std::string& inputPath, MediaSink& sink) override {
    script_.calls.push_back("build " + inputPath);
    sink_ = &sink;
    if (!script_.buildOk) return false;
    VideoInfoHeader video;
    video.AvgTimePerFrame = script_.frameDuration;
    video.bmiHeader.biWidth = script_.width;
    video.bmiHeader.biHeight = script_.height;
    video.bmiHeader.biSizeImage = frameBytes();
    WaveFormatEx audio;
    audio.nChannels = 1;
    audio.nSamplesPerSec = 22050;
    audio.nBlockAlign = 2;
    audio.nAvgBytesPerSec = 44100;
    audio.wBitsPerSample = 16;
    if (!sink.acceptVideoFormat(video)) {
      setLastErrorText(kFormatRefusedText);
      return false;
    }
    return sink.acceptAudioFormat(audio);
  }

  bool queryFrameCount(std::uint64_t& frameCount, MediaSink&) override {
    script_.calls.push_back("query");
    frameCount = static_cast<std::uint64_t>(script_.announcedFrames >= 0 ? script_.announcedFrames : script_.frames);
    return script_.queryOk;
  }

  bool runDecodingGraph(const CancelSource& cancel) override {
    script_.calls.push_back("run");
    if (script_.throwInRun) throw std::runtime_error("decoder fell over");
    std::vector<std::uint8_t> frame(frameBytes());
    std::vector<std::uint8_t> sound(882 * 2);  // 40 ms
    const double frameSeconds = script_.frameDuration / 1e7;
    for (int i = 0; i < script_.frames; ++i) {
      if (script_.beforeFrame) script_.beforeFrame(i);
      if (cancel.cancelRequested()) {
        jobCancelled = true;
        return false;
      }
      for (std::size_t p = 0; p < frame.size(); ++p) frame[p] = static_cast<std::uint8_t>(p * 3 + i * 40);
      for (std::size_t s = 0; s < sound.size(); ++s) sound[s] = static_cast<std::uint8_t>(s * 11);
      ++script_.framesDelivered;
      const bool taken =
          sink_->addVideoSample(i * frameSeconds, frame.data(), static_cast<std::uint32_t>(frame.size()));
      if (!taken && script_.stopWhenRefused) return false;
      sink_->addAudioBuffer(sound.data(), static_cast<std::uint32_t>(sound.size()));
    }
    return script_.runOk;
  }

  void releaseDecodingGraph() override {
    script_.calls.push_back("release");
    if (script_.onRelease) script_.onRelease();
  }

 private:
  // Rows of 3-byte pixels padded to 4 bytes.
  std::size_t frameBytes() const {
    return ((static_cast<std::size_t>(script_.width) * 3 + 3) & ~std::size_t{3}) * script_.height;
  }

  GraphScript& script_;
  MediaSink* sink_ = nullptr;
};

}  // namespace

DecodingGraphFactory fakeGraphFactory(GraphScript& script) {
  return [&script] { return std::make_unique<FakeGraph>(script); };
}

}  // namespace zepra::test
