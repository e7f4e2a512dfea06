// Cost of preparing one frame for the compressor, for common sources at
// their automatic sizes, against references measured in the same run: a
// copy of the decoded frame (the least any conversion costs) and the literal
// conversion that computes every box and weight where it is used. Prints ms
// per frame and the ratios at the end.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/video/reference_conversion.h"
#include "video/frame_converter.h"

namespace {

using zepra::ConversionSetup;
using zepra::FrameConverter;

struct Case {
  const char* name;
  ConversionSetup setup;
};

const Case kCases[] = {
    {"1280x720 to 240x136", {1280, 720, {}, 240, 136, zepra::k4xDithering, 1.33f}},
    {"1280x720 trimmed to 240x160", {1280, 720, {100, 0, 100, 0}, 240, 160, zepra::k4xDithering, 1.33f}},
    {"640x480 to 212x160", {640, 480, {}, 212, 160, zepra::k4xDithering, 1.33f}},
    {"640x480 trimmed to 240x160", {640, 480, {0, 26, 0, 26}, 240, 160, zepra::k4xDithering, 1.33f}},
    {"176x144 to 196x160 (enlarged)", {176, 144, {}, 196, 160, zepra::k4xDithering, 1.33f}},
};

std::vector<std::uint8_t> sourceFrame(const ConversionSetup& setup) {
  std::vector<std::uint8_t> frame(zepra::sourceRowBytes(setup.sourceWidth) * setup.sourceHeight);
  std::mt19937 random(7);
  for (auto& b : frame) b = static_cast<std::uint8_t>(random());
  return frame;
}

void copyFrame(benchmark::State& state, const Case& c) {
  const auto source = sourceFrame(c.setup);
  std::vector<std::uint8_t> copy(source.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), source.data(), source.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
}

void convertFrame(benchmark::State& state, const Case& c) {
  const auto source = sourceFrame(c.setup);
  FrameConverter converter;
  converter.configure(c.setup);
  for (auto _ : state) {
    benchmark::DoNotOptimize(converter.convert(source.data()));
    benchmark::ClobberMemory();
  }
}

void referenceFrame(benchmark::State& state, const Case& c) {
  const auto source = sourceFrame(c.setup);
  for (auto _ : state) benchmark::DoNotOptimize(zepra::test::referenceConvert(c.setup, source.data()));
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      msPerFrame[run.benchmark_name()] =
          run.real_accumulated_time * 1000.0 / static_cast<double>(run.iterations);
    }
  }
  std::map<std::string, double> msPerFrame;
};

}  // namespace

int main(int argc, char** argv) {
  for (const Case& c : kCases) {
    benchmark::RegisterBenchmark((std::string("copy/") + c.name).c_str(), copyFrame, c);
    benchmark::RegisterBenchmark((std::string("convert/") + c.name).c_str(), convertFrame, c);
    benchmark::RegisterBenchmark((std::string("reference/") + c.name).c_str(), referenceFrame, c);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n| source to output | convert ms/frame | copy ms/frame | reference ms/frame | "
              "convert / copy | reference / convert |\n|---|---|---|---|---|---|\n");
  for (const Case& c : kCases) {
    const double convert = reporter.msPerFrame[std::string("convert/") + c.name];
    const double copy = reporter.msPerFrame[std::string("copy/") + c.name];
    const double reference = reporter.msPerFrame[std::string("reference/") + c.name];
    if (convert <= 0 || copy <= 0) continue;
    std::printf("| %s | %.3f | %.3f | %.3f | %.1f | %.2f |\n", c.name, convert, copy, reference,
                convert / copy, reference / convert);
  }
  benchmark::Shutdown();
  return 0;
}
