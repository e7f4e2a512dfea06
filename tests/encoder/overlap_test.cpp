// Compression on the session's own thread beside the conversion of the next
// frame gives the stream and the compressor calls of compression in turn:
// over gaps, repeats, dropped frames, a late first frame, a video whose only
// frame is dropped, and a frame that fails.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/encoder/case_name.h"
#include "tests/encoder/encoder_harness.h"

namespace zepra::test {
namespace {

struct Sample {
  double time;
  int picture;  // which picture; -1: an empty sample, a repeat
};

struct OverlapCase {
  const char* what;
  int frameRateMode;
  std::vector<Sample> samples;
  int failingFrame = -1;  // the compressor double misshapes this frame
};

void PrintTo(const OverlapCase& c, std::ostream* out) { *out << c.what; }

// Pictures that differ everywhere, so that any mix-up of buffers shows.
std::vector<std::uint8_t> picture(int width, int height, int n) {
  const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> frame(row * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * 3; ++x) frame[y * row + x] = static_cast<std::uint8_t>(x * 3 + y * 5 + n * 37);
  return frame;
}

struct Outcome {
  std::vector<std::uint8_t> stream;
  bool closed = false;
  std::vector<std::vector<std::uint8_t>> inputs, references;
  std::vector<std::uint32_t> frameSizes;
};

Outcome encode(const OverlapCase& c, bool overlap, bool realCompressor) {
  auto script = std::make_shared<FakeCompressorScript>();
  if (c.failingFrame >= 0) {
    script->reshape = [failing = c.failingFrame](std::int32_t n, std::vector<std::uint8_t>& f) {
      if (n == failing) f[9] = 2;
    };
  }
  const std::string path = temporaryPath(overlap ? "overlapped.bin" : "in-turn.bin");
  StreamEncoder encoder(realCompressor ? locateCinepakCompressor : fakeCompressorLocator(script));
  const int trim[4] = {0, 0, 0, 0};
  VideoInfoHeader format;
  format.AvgTimePerFrame = 333333;
  format.bmiHeader.biWidth = 320;
  format.bmiHeader.biHeight = 200;
  encoder.setOverlap(overlap);
  EXPECT_TRUE(encoder.setOutputName(path.c_str()) &&
              encoder.setOptions(trim, false, -1, -1, c.frameRateMode, 3, 60, 1.33f) &&
              encoder.acceptVideoFormat(format) && encoder.openStream(30));
  for (const Sample& s : c.samples) {
    const auto frame = picture(320, 200, s.picture);
    // A failure may be learnt a frame or two later with the overlap: what
    // matters is the stream it leaves.
    if (s.picture < 0) {
      encoder.addVideoSample(s.time, nullptr, 0);
    } else {
      encoder.addVideoSample(s.time, frame.data(), static_cast<std::uint32_t>(frame.size()));
    }
  }
  Outcome outcome;
  outcome.closed = encoder.closeStream();
  std::ifstream file(path, std::ios::binary);
  outcome.stream.assign(std::istreambuf_iterator<char>(file), {});
  outcome.inputs = script->inputs;
  outcome.references = script->references;
  outcome.frameSizes = script->frameSizes;
  return outcome;
}

const OverlapCase kCases[] = {
    {"every frame, gaps and empty samples", 0,
     {{0.0, 0}, {0.03, 1}, {0.2, 2}, {0.2, -1}, {0.21, -1}, {0.3, 3}, {0.31, 4}, {0.5, 5}, {0.51, -1}, {0.6, 6}}},
    {"half the frames, gaps after dropped ones", 3,
     {{0.0, 0}, {0.033, 1}, {0.2, 2}, {0.21, 3}, {0.4, 4}, {0.41, -1}, {0.45, 5}, {0.6, 6}, {0.8, 7}}},
    {"late first frame", 0, {{0.15, 0}, {0.17, 1}, {0.3, 2}}},
    {"the only frame dropped", -1, {{0.0, 0}}},
    {"a failing frame", 0,
     {{0.0, 0}, {0.034, 1}, {0.067, 2}, {0.1, 3}, {0.134, 4}, {0.167, 5}, {0.2, 6}, {0.234, 7}}, 3},
};

class OverlapTest : public EncoderTest, public ::testing::WithParamInterface<OverlapCase> {};

TEST_P(OverlapTest, GivesTheStreamAndCallsOfCompressionInTurn) {
  const OverlapCase& c = GetParam();
  const Outcome inTurn = encode(c, false, false);
  const Outcome overlapped = encode(c, true, false);
  ASSERT_GT(inTurn.stream.size(), 12u);
  EXPECT_EQ(overlapped.stream, inTurn.stream);
  EXPECT_EQ(overlapped.closed, inTurn.closed);
  EXPECT_EQ(inTurn.closed, c.failingFrame < 0);
  EXPECT_EQ(overlapped.inputs, inTurn.inputs);
  EXPECT_EQ(overlapped.references, inTurn.references);
  EXPECT_EQ(overlapped.frameSizes, inTurn.frameSizes);
  if (c.failingFrame < 0) {
    EXPECT_EQ(encode(c, true, true).stream, encode(c, false, true).stream) << "our compressor";
  }
}

INSTANTIATE_TEST_SUITE_P(Feeds, OverlapTest, ::testing::ValuesIn(kCases), ByDescription());

}  // namespace
}  // namespace zepra::test
