#include "fake_graph.h"

#include <stdexcept>

#include "media/media_sink.h"

namespace zepra::test {

namespace {

constexpr int kSide = 32;

class FakeGraph : public DecodingGraph {
 public:
  explicit FakeGraph(GraphScript& script) : script_(script) {}

  bool buildDecodingGraph(const std::string& inputPath, MediaSink& sink) override {
    script_.calls.push_back("build " + inputPath);
    sink_ = &sink;
    if (!script_.buildOk) return false;
    VideoInfoHeader video;
    video.AvgTimePerFrame = 400000;  // 25 frames per second
    video.bmiHeader.biWidth = kSide;
    video.bmiHeader.biHeight = kSide;
    video.bmiHeader.biSizeImage = kSide * kSide * 3;
    WaveFormatEx audio;
    audio.nChannels = 1;
    audio.nSamplesPerSec = 22050;
    audio.nBlockAlign = 2;
    audio.nAvgBytesPerSec = 44100;
    audio.wBitsPerSample = 16;
    return sink.acceptVideoFormat(video) && sink.acceptAudioFormat(audio);
  }

  bool queryFrameCount(std::uint64_t& frameCount, MediaSink&) override {
    script_.calls.push_back("query");
    frameCount = static_cast<std::uint64_t>(script_.frames);
    return script_.queryOk;
  }

  bool runDecodingGraph() override {
    script_.calls.push_back("run");
    if (script_.throwInRun) throw std::runtime_error("decoder fell over");
    std::vector<std::uint8_t> frame(kSide * kSide * 3);
    std::vector<std::uint8_t> sound(882 * 2);  // 40 ms
    for (int i = 0; i < script_.frames; ++i) {
      for (std::size_t p = 0; p < frame.size(); ++p) frame[p] = static_cast<std::uint8_t>(p * 3 + i * 40);
      for (std::size_t s = 0; s < sound.size(); ++s) sound[s] = static_cast<std::uint8_t>(s * 11);
      sink_->addVideoSample(i * 0.04, frame.data(), static_cast<std::uint32_t>(frame.size()));
      sink_->addAudioBuffer(sound.data(), static_cast<std::uint32_t>(sound.size()));
    }
    return script_.runOk;
  }

  void releaseDecodingGraph() override {
    script_.calls.push_back("release");
    if (script_.onRelease) script_.onRelease();
  }

 private:
  GraphScript& script_;
  MediaSink* sink_ = nullptr;
};

}  // namespace

DecodingGraphFactory fakeGraphFactory(GraphScript& script) {
  return [&script] { return std::make_unique<FakeGraph>(script); };
}

}  // namespace zepra::test
