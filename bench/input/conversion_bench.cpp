// Wall time of turning a 15-second 1280x720 H.264 + AAC clip into frames and
// sound, and into a whole cartridge image, against ffmpeg decoding the same
// clip to nothing (`ffmpeg -i clip -f null -`) in the same run. Everything
// runs at the idle priority a conversion job takes, the reference included.
// Prints the ratios of wall and of processor time at the end (processor time
// is the steadier of the two on a shared machine); the conversion should
// stay within 1.5 times the decoding alone.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "media/media_sink.h"
#include "input/decoding_graph.h"
#include "platform/job_state.h"
#include "platform/thread_priority.h"
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

double cpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Processor seconds per iteration, of this process or of its children.
class CpuClock {
 public:
  explicit CpuClock(int who) : who_(who), start_(cpuSeconds(who)) {}
  void report(benchmark::State& state) const {
    state.counters["cpu_s"] = (cpuSeconds(who_) - start_) / static_cast<double>(state.iterations());
  }

 private:
  int who_;
  double start_;
};

void ffmpegDecodeReference(benchmark::State& state) {
  const std::string command = "nice -n 19 chrt --idle 0 ffmpeg -nostdin -hide_banner -loglevel error -i '" +
                              benchClip().clip() + "' -f null -";
  const CpuClock cpu(RUSAGE_CHILDREN);
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg failed");
  }
  cpu.report(state);
}

void decodingGraph(benchmark::State& state) {
  const std::string& clip = benchClip().clip();
  const zepra::IdlePriority idle;
  const CpuClock cpu(RUSAGE_SELF);
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
  cpu.report(state);
}

#ifdef ZEPRA_HAVE_JOB
void fullConversion(benchmark::State& state) {
  zepra::ConversionJob job;
  job.inputPath = benchClip().clip();
  job.outputPath = benchClip().output();
  job.romTitle = "BENCH";
  const CpuClock cpu(RUSAGE_SELF);
  for (auto _ : state) {
    zepra::resetJobState();
    if (zepra::runConversionJob(job) != zepra::kJobOk) state.SkipWithError(zepra::lastErrorText().c_str());
  }
  cpu.report(state);
}
BENCHMARK(fullConversion)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
#endif

BENCHMARK(ffmpegDecodeReference)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(decodingGraph)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

struct Times {
  double wall = 0.0;
  double cpu = 0.0;
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto cpu = run.counters.find("cpu_s");
      times[run.benchmark_name()] = {run.GetAdjustedRealTime() / 1e3,
                                     cpu == run.counters.end() ? 0.0 : double(cpu->second)};
    }
    ConsoleReporter::ReportRuns(runs);
  }
  Times get(const std::string& prefix) const {
    for (const auto& [name, value] : times) {
      if (name.rfind(prefix, 0) == 0) return value;
    }
    return {};
  }
  std::map<std::string, Times> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchClip();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const Times reference = reporter.get("ffmpegDecodeReference");
  if (reference.wall <= 0 || reference.cpu <= 0) return 1;
  std::printf("\nAgainst ffmpeg decoding the clip alone (%.2f s wall, %.2f s processor):\n",
              reference.wall, reference.cpu);
  std::printf("                                          wall   processor\n");
  const auto line = [&](const char* what, const char* name) {
    const Times t = reporter.get(name);
    std::printf("  %-38s %5.2f  %5.2f\n", what, t.wall / reference.wall, t.cpu / reference.cpu);
  };
  line("decoding graph to 24-bit frames and PCM", "decodingGraph");
#ifdef ZEPRA_HAVE_JOB
  line("full conversion to a cartridge image", "fullConversion");
  std::printf("  (target for the full conversion: wall at most 1.50)\n");
#endif
  return 0;
}
