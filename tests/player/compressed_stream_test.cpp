// Streams made by our own compressor, played in the emulator: every frame on
// screen equals the reference decoder's picture, centred, at the refresh the
// stream's playbackStep gives; and typical streams decode in time.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/cinepak/compress_session.h"
#include "tests/player/player_probe.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

// Repacks compressed frames into records: the strip type from the strip
// header, the chunks behind it.
std::vector<FrameRecord> records(const std::vector<Frame>& frames) {
  std::vector<FrameRecord> out;
  for (const Frame& f : frames) {
    const std::size_t stripSize = static_cast<std::size_t>(f[12] << 8 | f[13]);
    out.push_back({static_cast<std::uint16_t>(f[10] << 8 | f[11]),
                   Bytes(f.begin() + kFrameHeaderSize + kStripHeaderSize, f.begin() + kFrameHeaderSize + stripSize)});
  }
  return out;
}

struct ClipCase {
  const char* name;
  Clip clip;
  int width, height;
  std::uint32_t frameBytes;
};

void PrintTo(const ClipCase& c, std::ostream* os) { *os << c.name; }

class CompressedStreamTest : public testing::TestWithParam<ClipCase> {};

TEST_P(CompressedStreamTest, EveryFrameOnScreenEqualsTheReferenceDecoderAtItsRefresh) {
  const ClipCase& c = GetParam();
  constexpr int kFrames = 8;
  TestStream stream;
  stream.width = c.width;
  stream.height = c.height;
  stream.playbackStep = 32917;  // 30 frames per second
  stream.frames = records(compressClip(makeClip(c.clip, c.width, c.height, kFrames), c.width, c.height, c.frameBytes));
  ASSERT_EQ(stream.frames.size(), static_cast<std::size_t>(kFrames));
  EXPECT_EQ(stream.frames[0].stripType, kIntraStrip);
  EXPECT_EQ(stream.frames[1].stripType, kInterStrip);
  stream.audioBlocks.assign(176 * (2 * kFrames + 2), 0x08);
  const auto pictures = referencePictures(stream);

  std::string error;
  auto console = ConsoleEmulator::load(cartridge(stream.bytes()), error);
  ASSERT_NE(console, nullptr) << error;
  // The pass starts in refresh 1. Frame k is copied at the refresh interrupt
  // where it falls due and shows from the next refresh until k + 1 is due. A
  // large first frame, decoded after the start-up's screen clearing, may be
  // one refresh late; the frames after it keep its place on the grid.
  auto due = [&](int k) {
    return static_cast<int>((std::uint64_t{static_cast<std::uint32_t>(k) + 1} * 0x10000 + stream.playbackStep - 1) /
                            stream.playbackStep);
  };
  std::vector<int> shown;  // frame on screen per refresh, -1 for none
  for (int r = 0; r < 2 + due(kFrames); ++r) {
    console->runRefresh();
    const auto screen = console->screen();
    int frame = -1;
    for (int k = 0; k < kFrames && frame < 0; ++k) {
      const auto want = centredScreen(pictures[k], c.width, c.height);
      if (std::equal(want.begin(), want.end(), screen.begin())) frame = k;
    }
    shown.push_back(frame);
  }
  const int first = static_cast<int>(std::find(shown.begin(), shown.end(), 0) - shown.begin());
  ASSERT_LT(first, static_cast<int>(shown.size())) << "frame 0 never appeared pixel for pixel";
  EXPECT_LE(first, 1 + due(0) + 1) << "frame 0 more than one refresh late";
  for (int k = 0; k < kFrames; ++k) {
    for (int r = first + due(k) - due(0); r < first + due(k + 1) - due(0) && r < static_cast<int>(shown.size()); ++r)
      EXPECT_EQ(shown[r], k) << "refresh " << r + 1 << " (frame 0 appeared at refresh " << first + 1 << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(Clips, CompressedStreamTest,
                         testing::Values(ClipCase{"ShapesFullScreen", Clip::kShapes, 240, 160, 6000},
                                         ClipCase{"GradientNarrow", Clip::kGradient, 212, 160, 4000},
                                         ClipCase{"GreyLow", Clip::kGrey, 240, 136, 3000},
                                         ClipCase{"NoiseAtTheLargestBudget", Clip::kNoise, 240, 160, 17066}),
                         [](const auto& info) { return std::string(info.param.name); });

// Typical streams: the decoder's cycles per frame, reported for the record.
TEST(CompressedStreamCycles, TypicalStreamsDecodeWellWithinAFramesTime) {
  for (const ClipCase& c : {ClipCase{"shapes at 6000 bytes a frame", Clip::kShapes, 240, 160, 6000},
                            ClipCase{"noise at 17066 bytes a frame (500 KB/s)", Clip::kNoise, 240, 160, 17066}}) {
    TestStream stream;
    stream.playbackStep = 32917;
    stream.frames = records(compressClip(makeClip(c.clip, 240, 160, 6), 240, 160, c.frameBytes));
    stream.audioBlocks.assign(176 * 16, 0x77);
    std::string error;
    auto console = ConsoleEmulator::load(cartridge(stream.bytes()), error);
    ASSERT_NE(console, nullptr) << error;
    std::uint64_t worst = 0, total = 0;
    const auto costs = measureDecoding(*console, 6);
    for (const FrameCost& cost : costs) {
      worst = std::max(worst, cost.decodeCycles);
      total += cost.decodeCycles;
      EXPECT_FALSE(cost.late) << c.name;
    }
    std::printf("%s: mean %llu, worst %llu cycles per frame decode\n", c.name,
                static_cast<unsigned long long>(total / std::max<std::size_t>(costs.size(), 1)),
                static_cast<unsigned long long>(worst));
  }
}

}  // namespace
}  // namespace zepra::test
