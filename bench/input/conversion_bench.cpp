// Wall time of turning a 15-second 1280x720 H.264 + AAC clip into frames and
// sound, and into a whole cartridge image, against ffmpeg decoding the same
// clip to nothing (`ffmpeg -i clip -f null -`) in the same run. Prints the
// ratios at the end; the conversion should stay within 1.5 times the
// decoding alone.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "encoder/media_sink.h"
#include "input/decoding_graph.h"
#include "platform/job_state.h"
#ifdef ZEPRA_HAVE_JOB
#include "job/conversion_job.h"
#endif

namespace {

namespace fs = std::filesystem;

// The clip lives in a private folder for the whole run.
class BenchClip {
 public:
  BenchClip() {
    std::string pattern = (fs::temp_directory_path() / "zepra-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    clip_ = (dir_ / "clip.mp4").string();
    const std::string command =
        "ffmpeg -nostdin -hide_banner -loglevel error -y "
        "-f lavfi -i testsrc2=size=1280x720:rate=30:duration=15 "
        "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=15 -ac 2 "
        "-c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac '" + clip_ + "'";
    if (std::system(command.c_str()) != 0) std::abort();
  }
  ~BenchClip() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  const std::string& clip() const { return clip_; }
  std::string output() const { return (dir_ / "clip.gba").string(); }

 private:
  fs::path dir_;
  std::string clip_;
};

const BenchClip& benchClip() {
  static const BenchClip clip;
  return clip;
}

// Takes every format and throws the data away.
class DiscardingSink final : public zepra::MediaSink {
 public:
  void setContainerFrameRate(std::uint32_t rate, std::uint32_t scale) override {
    rate_ = rate;
    scale_ = scale;
  }
  bool setPictureAspect(const zepra::VideoInfoHeader2&) override { return true; }
  bool acceptVideoFormat(const zepra::VideoInfoHeader& format) override {
    if (format.AvgTimePerFrame) {
      rate_ = static_cast<std::uint32_t>(10000000000LL / format.AvgTimePerFrame);
      scale_ = 1000;
    }
    return true;
  }
  bool acceptAudioFormat(const zepra::WaveFormatEx&) override { return true; }
  std::uint32_t sourceRate() const override { return rate_; }
  std::uint32_t sourceScale() const override { return scale_; }
  bool addVideoSample(double, const std::uint8_t* data, std::uint32_t length) override {
    benchmark::DoNotOptimize(data[length / 2]);
    return true;
  }
  void addAudioBuffer(const std::uint8_t* data, std::uint32_t) override {
    benchmark::DoNotOptimize(data[0]);
  }

 private:
  std::uint32_t rate_ = 0, scale_ = 0;
};

void ffmpegDecodeReference(benchmark::State& state) {
  const std::string command =
      "ffmpeg -nostdin -hide_banner -loglevel error -i '" + benchClip().clip() + "' -f null -";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg failed");
  }
}

void decodingGraph(benchmark::State& state) {
  const std::string& clip = benchClip().clip();
  for (auto _ : state) {
    DiscardingSink sink;
    auto graph = zepra::createDecodingGraph();
    std::uint64_t frames = 0;
    if (!graph->buildDecodingGraph(clip, sink) || !graph->queryFrameCount(frames, sink) ||
        !graph->runDecodingGraph()) {
      state.SkipWithError(zepra::lastErrorText().c_str());
    }
    graph->releaseDecodingGraph();
  }
}

#ifdef ZEPRA_HAVE_JOB
void fullConversion(benchmark::State& state) {
  zepra::ConversionJob job;
  job.inputPath = benchClip().clip();
  job.outputPath = benchClip().output();
  job.romTitle = "BENCH";
  for (auto _ : state) {
    zepra::resetJobState();
    if (zepra::runConversionJob(job) != zepra::kJobOk) state.SkipWithError(zepra::lastErrorText().c_str());
  }
}
BENCHMARK(fullConversion)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
#endif

BENCHMARK(ffmpegDecodeReference)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(decodingGraph)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) seconds[run.benchmark_name()] = run.GetAdjustedRealTime() / 1e3;
    ConsoleReporter::ReportRuns(runs);
  }
  double get(const std::string& prefix) const {
    for (const auto& [name, value] : seconds) {
      if (name.rfind(prefix, 0) == 0) return value;
    }
    return 0.0;
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchClip();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double reference = reporter.get("ffmpegDecodeReference");
  if (reference <= 0) return 1;
  std::printf("\nWall time against ffmpeg decoding the clip alone (%.2f s):\n", reference);
  std::printf("  decoding graph to 24-bit frames and PCM: %.2f\n", reporter.get("decodingGraph") / reference);
#ifdef ZEPRA_HAVE_JOB
  std::printf("  full conversion to a cartridge image:    %.2f (target at most 1.50)\n",
              reporter.get("fullConversion") / reference);
#endif
  return 0;
}
