#include "fake_graph.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "media/media_sink.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"

namespace zepra::test {

namespace {

class FakeGraph : public DecodingGraph {
 public:
  explicit FakeGraph(GraphScript& script) : script_(&script) {}
  // The script is the input's own, chosen when the graph is built.
  explicit FakeGraph(std::map<std::string, GraphScript>& scripts) : scripts_(&scripts) {}

  bool buildDecodingGraph(const std::string& inputPath, MediaSink& sink) override {
    if (scripts_ != nullptr) script_ = &scripts_->at(inputPath);
    script().calls.push_back("build " + inputPath);
    sink_ = &sink;
    if (!script().buildOk) return false;
    VideoInfoHeader video;
    video.AvgTimePerFrame = script().frameDuration;
    video.bmiHeader.biWidth = script().width;
    video.bmiHeader.biHeight = script().height;
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
    script().calls.push_back("query");
    frameCount = static_cast<std::uint64_t>(script().announcedFrames >= 0 ? script().announcedFrames : script().frames);
    return script().queryOk;
  }

  bool runDecodingGraph(const CancelSource& cancel) override {
    script().calls.push_back("run");
    if (script().throwInRun) throw std::runtime_error("decoder fell over");
    std::vector<std::uint8_t> frame(frameBytes());
    std::vector<std::uint8_t> sound(882 * 2);  // 40 ms
    const double frameSeconds = script().frameDuration / 1e7;
    const std::vector<DecodingWindow>& windows = windows_;
    auto inWindow = [&](double time) {
      return std::any_of(windows.begin(), windows.end(),
                         [&](const DecodingWindow& w) { return time >= w.start && time < w.end; });
    };
    for (int i = 0; i < script().frames; ++i) {
      if (!windows.empty() && !inWindow(i * frameSeconds)) continue;
      if (script().beforeFrame) script().beforeFrame(i);
      if (cancel.cancelRequested()) {
        jobCancelled = true;
        return false;
      }
      for (std::size_t p = 0; p < frame.size(); ++p) frame[p] = static_cast<std::uint8_t>(p * 3 + i * 40);
      for (std::size_t s = 0; s < sound.size(); ++s) sound[s] = static_cast<std::uint8_t>(s * 11);
      ++script().framesDelivered;
      const bool taken =
          sink_->addVideoSample(i * frameSeconds, frame.data(), static_cast<std::uint32_t>(frame.size()));
      if (!taken && script().stopWhenRefused) return false;
      if (windows.empty()) sink_->addAudioBuffer(sound.data(), static_cast<std::uint32_t>(sound.size()));
    }
    return script().runOk;
  }

  void decodeOnly(std::vector<DecodingWindow> windows) override {
    windows_ = std::move(windows);
    script().windows = windows_;
  }
  WindowedRun windowedRun() const override { return {}; }
  std::vector<double> indexedKeyFrames() const override { return script().keyFrames; }

  void releaseDecodingGraph() override {
    script().calls.push_back("release");
    if (script().onRelease) script().onRelease();
  }

 private:
  // Rows of 3-byte pixels padded to 4 bytes.
  std::size_t frameBytes() const {
    return ((static_cast<std::size_t>(script().width) * 3 + 3) & ~std::size_t{3}) * script().height;
  }

  GraphScript& script() const { return *script_; }

  GraphScript* script_ = nullptr;
  std::map<std::string, GraphScript>* scripts_ = nullptr;
  MediaSink* sink_ = nullptr;
  std::vector<DecodingWindow> windows_;
};

}  // namespace

DecodingGraphFactory fakeGraphFactory(GraphScript& script) {
  return [&script] { return std::make_unique<FakeGraph>(script); };
}

DecodingGraphFactory fakeGraphFactory(std::map<std::string, GraphScript>& scripts) {
  return [&scripts] { return std::make_unique<FakeGraph>(scripts); };
}

}  // namespace zepra::test
