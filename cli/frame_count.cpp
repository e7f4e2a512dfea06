#include "cli/frame_count.h"

#include "media/media_sink.h"
#include "input/decoding_graph.h"

namespace zepra::cli {

namespace {

// Takes whatever formats the graph offers and keeps only the frame rate,
// which the graph needs to turn a duration into frames. The encoder's own
// checks of the formats happen when the job runs.
class FrameRateProbe final : public MediaSink {
 public:
  void setContainerFrameRate(std::uint32_t rate, std::uint32_t scale) override {
    rate_ = rate;
    scale_ = scale;
  }
  bool setPictureAspect(const VideoInfoHeader2&) override { return true; }
  bool acceptVideoFormat(const VideoInfoHeader& format) override {
    // A frame duration in the format wins over the container's rate.
    if (format.AvgTimePerFrame > 0) {
      rate_ = static_cast<std::uint32_t>(10'000'000'000LL / format.AvgTimePerFrame);
      scale_ = 1000;
    }
    return rate_ != 0 && scale_ != 0;
  }
  bool acceptAudioFormat(const WaveFormatEx&) override { return true; }
  std::uint32_t sourceRate() const override { return rate_; }
  std::uint32_t sourceScale() const override { return scale_; }
  bool addVideoSample(double, const std::uint8_t*, std::uint32_t) override { return false; }
  void addAudioBuffer(const std::uint8_t*, std::uint32_t) override {}

 private:
  std::uint32_t rate_ = 0;
  std::uint32_t scale_ = 0;
};

}  // namespace

std::optional<std::uint64_t> countSourceFrames(const std::string& inputPath) {
  const std::unique_ptr<DecodingGraph> graph = createDecodingGraph();
  if (!graph) return std::nullopt;
  FrameRateProbe probe;
  std::uint64_t frames = 0;
  const bool counted = graph->buildDecodingGraph(inputPath, probe) && graph->queryFrameCount(frames, probe);
  graph->releaseDecodingGraph();
  if (!counted || frames == 0) return std::nullopt;
  return frames;
}

}  // namespace zepra::cli
