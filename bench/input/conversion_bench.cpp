// Wall and processor time of turning clips into frames and sound, and into
// whole cartridge images, against ffmpeg decoding the same clip to nothing
// (`ffmpeg -i clip -f null -`) in the same run. Everything runs at the idle
// priority a conversion job takes, the reference included. The clips are made
// by ffmpeg from lavfi sources: a heavy one (15 s of 1280x720 H.264 + AAC)
// and light ones (640x360 MPEG-4 and 320x240 MJPEG in AVI, 352x288 MPEG-1),
// where the conversion's own work and fixed costs weigh most. Prints the
// ratios of wall and of processor time per clip at the end (processor time is
// the steadier of the two on a shared machine).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "media/media_sink.h"
#include "input/decoding_graph.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"
#include "platform/thread_priority.h"
#ifdef ZEPRA_HAVE_JOB
#include "job/conversion_job.h"
#endif

namespace {

namespace fs = std::filesystem;

struct BenchClip {
  const char* name;
  const char* file;
  const char* encode;  // ffmpeg arguments for the streams, after the two lavfi inputs
};

const BenchClip kClips[] = {
    {"1280x720 H.264+AAC MP4", "heavy.mp4", "-s 1280x720 -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac"},
    {"640x360 MPEG-4+MP3 AVI", "mpeg4.avi", "-s 640x360 -c:v mpeg4 -q:v 4 -c:a libmp3lame"},
    {"320x240 MJPEG+PCM AVI", "mjpeg.avi", "-s 320x240 -c:v mjpeg -q:v 4 -pix_fmt yuvj420p -c:a pcm_s16le"},
    {"352x288 MPEG-1+MP2 MPG", "mpeg1.mpg", "-s 352x288 -c:v mpeg1video -q:v 4 -c:a mp2"},
};

// The clips live in a private folder for the whole run.
class BenchClips {
 public:
  BenchClips() {
    std::string pattern = (fs::temp_directory_path() / "zepra-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    for (const BenchClip& source : kClips) {
      const std::string command =
          std::string("ffmpeg -nostdin -hide_banner -loglevel error -y "
                      "-f lavfi -i testsrc2=size=1280x720:rate=30:duration=15 "
                      "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=15 -ac 2 ") +
          source.encode + " '" + clip(source) + "'";
      if (std::system(command.c_str()) != 0) std::abort();
    }
  }
  ~BenchClips() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string clip(const BenchClip& source) const { return (dir_ / source.file).string(); }
  std::string output() const { return (dir_ / "clip.gba").string(); }

 private:
  fs::path dir_;
};

const BenchClips& benchClips() {
  static const BenchClips clips;
  return clips;
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

void ffmpegDecodeReference(benchmark::State& state, const BenchClip* source) {
  const std::string command = "nice -n 19 chrt --idle 0 ffmpeg -nostdin -hide_banner -loglevel error -i '" +
                              benchClips().clip(*source) + "' -f null -";
  const CpuClock cpu(RUSAGE_CHILDREN);
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg failed");
  }
  cpu.report(state);
}

void decodingGraph(benchmark::State& state, const BenchClip* source) {
  const std::string clip = benchClips().clip(*source);
  const zepra::IdlePriority idle;
  const CpuClock cpu(RUSAGE_SELF);
  for (auto _ : state) {
    DiscardingSink sink;
    auto graph = zepra::createDecodingGraph();
    std::uint64_t frames = 0;
    if (!graph->buildDecodingGraph(clip, sink) || !graph->queryFrameCount(frames, sink) ||
        !graph->runDecodingGraph(zepra::CancelSource())) {
      state.SkipWithError(zepra::lastErrorText().c_str());
    }
    graph->releaseDecodingGraph();
  }
  cpu.report(state);
}

#ifdef ZEPRA_HAVE_JOB
void fullConversion(benchmark::State& state, const BenchClip* source) {
  zepra::ConversionJob job;
  job.inputPath = benchClips().clip(*source);
  job.outputPath = benchClips().output();
  job.romTitle = "BENCH";
  const CpuClock cpu(RUSAGE_SELF);
  for (auto _ : state) {
    zepra::resetJobState();
    zepra::CancelSource cancel;
    if (zepra::runConversionJob(job, cancel) != zepra::kJobOk) state.SkipWithError(zepra::lastErrorText().c_str());
  }
  cpu.report(state);
}
#endif

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
  // Each clip's reference runs right before its conversions, so they share the machine's state.
  for (const BenchClip& source : kClips) {
    const std::string name = source.name;
    const auto add = [&](const std::string& what, void (*function)(benchmark::State&, const BenchClip*)) {
      benchmark::RegisterBenchmark((what + "/" + name).c_str(), function, &source)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(2)
          ->UseRealTime();
    };
    add("ffmpegDecodeReference", ffmpegDecodeReference);
    add("decodingGraph", decodingGraph);
#ifdef ZEPRA_HAVE_JOB
    add("fullConversion", fullConversion);
#endif
  }
  benchmark::Initialize(&argc, argv);
  benchClips();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nAgainst ffmpeg decoding the clip alone (targets for the full conversion: wall at most 1.5 on\n"
              "the heavy clip, 2.5 on the light ones):\n\n"
              "| clip | ffmpeg wall s | ffmpeg processor s | graph wall | graph processor | conversion wall | "
              "conversion processor |\n|---|---|---|---|---|---|---|\n");
  for (const BenchClip& source : kClips) {
    const std::string name = source.name;
    const Times reference = reporter.get("ffmpegDecodeReference/" + name);
    if (reference.wall <= 0 || reference.cpu <= 0) continue;
    const Times graph = reporter.get("decodingGraph/" + name);
    const Times conversion = reporter.get("fullConversion/" + name);
    std::printf("| %s | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", source.name, reference.wall, reference.cpu,
                graph.wall / reference.wall, graph.cpu / reference.cpu, conversion.wall / reference.wall,
                conversion.cpu / reference.cpu);
  }
  return 0;
}
