// Cost of preparing one frame for the compressor, for common sources at
// their automatic sizes, against references measured in the same run: a
// copy of the decoded frame (the least any conversion costs), the literal
// conversion that computes every box and weight where it is used, and the
// Cinepak compression of the prepared frame that follows every conversion.
// Prints ms per frame and the ratios at the end; the machine is shared, so
// run it with --benchmark_repetitions=5 to compare medians.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cinepak/video_compressor.h"
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

// Compresses the prepared frames of two neighbouring source frames in turn,
// each against the other as reference, at 150 KB/s and 30 frames/s.
void compressFrame(benchmark::State& state, const Case& c) {
  FrameConverter converter;
  converter.configure(c.setup);
  auto source = sourceFrame(c.setup);
  converter.convert(source.data());
  const std::vector<std::uint8_t> first(converter.frame(), converter.frame() + converter.frameBytes());
  for (std::size_t i = 0; i < source.size(); i += 7) source[i] ^= 0x10;
  converter.convert(source.data());
  const std::vector<std::uint8_t> second(converter.frame(), converter.frame() + converter.frameBytes());

  zepra::BitmapInfoHeader input;
  input.biWidth = c.setup.outputWidth;
  input.biHeight = c.setup.outputHeight;
  input.biSizeImage = static_cast<std::uint32_t>(first.size());
  auto compressor = zepra::locateCinepakCompressor(input);
  if (!compressor) {
    state.SkipWithError("no compressor for this size");
    return;
  }
  std::vector<zepra::BitmapInfoHeader> output(4);
  compressor->getOutputFormat(input, output[0]);
  std::vector<std::uint8_t> compressed(compressor->maxFrameSize(input, output[0]));
  zepra::CompressFramesInfo info{&output[0], &input, 1000, static_cast<std::int32_t>(compressor->defaultQuality()),
                                 150 << 10, 30, 1};
  compressor->framesInfo(info);
  compressor->begin(input, output[0]);
  zepra::CompressParams params;
  params.lpbiOutput = &output[0];
  params.lpOutput = compressed.data();
  params.lpbiInput = &input;
  params.lpbiPrev = &input;
  params.dwQuality = compressor->defaultQuality();
  params.dwFrameSize = (150 << 10) / 30;
  std::int32_t frame = 0;
  for (auto _ : state) {
    params.lFrameNum = frame;
    params.lpInput = (frame % 2 == 0 ? first : second).data();
    params.lpPrev = (frame % 2 == 0 ? second : first).data();
    compressor->compress(params);
    ++frame;
  }
  compressor->end();
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // With repetitions the median stands for the case; otherwise the one run.
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if ((!median && !single) || run.iterations == 0) continue;
      msPerFrame[run.run_name.str()] = run.GetAdjustedRealTime() / 1e6;
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
    benchmark::RegisterBenchmark((std::string("compress/") + c.name).c_str(), compressFrame, c);
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n| source to output | convert ms/frame | copy ms/frame | reference ms/frame | "
              "compress ms/frame | convert / copy | reference / convert | convert / compress |\n"
              "|---|---|---|---|---|---|---|---|\n");
  for (const Case& c : kCases) {
    const double convert = reporter.msPerFrame[std::string("convert/") + c.name];
    const double copy = reporter.msPerFrame[std::string("copy/") + c.name];
    const double reference = reporter.msPerFrame[std::string("reference/") + c.name];
    const double compress = reporter.msPerFrame[std::string("compress/") + c.name];
    if (convert <= 0 || copy <= 0 || compress <= 0) continue;
    std::printf("| %s | %.3f | %.3f | %.3f | %.3f | %.1f | %.2f | %.2f |\n", c.name, convert, copy,
                reference, compress, convert / copy, reference / convert, convert / compress);
  }
  benchmark::Shutdown();
  return 0;
}
