// The playback loop in the emulator: timing from playbackStep, repetition,
// and the keys.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "player/host/console_emulator.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

// Frames that each fill the picture with their own colour: a one-entry V1
// codebook and a V1-only block chunk.
TestStream numberedFrames(int count, std::uint32_t playbackStep) {
  TestStream stream;
  stream.playbackStep = playbackStep;
  for (int k = 0; k < count; ++k) {
    // Red tells k % 30 apart, blue k / 30.
    const auto y = static_cast<std::uint8_t>(8 * (k % 30) + 4);
    Bytes chunks = chunk(0x22, colourEntry(y, y, y, y, static_cast<std::int8_t>(k / 30 * 40 - 60), 0));
    const Bytes blocks = chunk(0x32, Bytes(60 * 40, 0));
    chunks.insert(chunks.end(), blocks.begin(), blocks.end());
    stream.frames.push_back({0x1000, chunks});
  }
  stream.audioBlocks.assign(176 * 8, 0x08);
  return stream;
}

// Which frame the screen shows: its number, -1 for black, -2 for anything else.
class FrameSpotter {
 public:
  explicit FrameSpotter(const TestStream& stream) {
    const auto pictures = referencePictures(stream);
    for (std::size_t k = 0; k < pictures.size(); ++k) {
      EXPECT_TRUE(byColour_.emplace(pictures[k][0], static_cast<int>(k)).second) << "frames look alike";
    }
  }
  // With A held the copy is not tied to the refresh, so a screen may show two
  // frames; its first pixel tells the newer one.
  int frameAtTopLeft(const ConsoleScreen& screen) const {
    const auto found = byColour_.find(screen[0]);
    return found == byColour_.end() ? -2 : found->second;
  }
  int frameOn(const ConsoleScreen& screen) const {
    if (std::all_of(screen.begin(), screen.end(), [&](auto p) { return p == screen[0]; })) {
      if (screen[0] == 0) return -1;
      const auto found = byColour_.find(screen[0]);
      if (found != byColour_.end()) return found->second;
    }
    return -2;
  }

 private:
  std::map<std::uint16_t, int> byColour_;
};

std::unique_ptr<ConsoleEmulator> loadStream(const TestStream& stream) {
  std::string error;
  auto console = ConsoleEmulator::load(cartridge(stream.bytes()), error);
  EXPECT_NE(console, nullptr) << error;
  return console;
}

// Frame per refresh, from refresh 0 on.
std::vector<int> watch(ConsoleEmulator& console, const FrameSpotter& spotter, int refreshes,
                       std::uint16_t keys = 0) {
  std::vector<int> shown;
  for (int r = 0; r < refreshes; ++r) {
    console.runRefresh(keys);
    shown.push_back(spotter.frameOn(console.screen()));
  }
  return shown;
}

int firstRefreshShowing(const std::vector<int>& shown, int frame, int from = 0) {
  for (int r = from; r < static_cast<int>(shown.size()); ++r)
    if (shown[r] == frame) return r;
  return -1;
}

class TimingTest : public testing::TestWithParam<std::uint32_t> {};

// Frame k becomes due when the accumulator, advanced by playbackStep at
// every refresh, reaches (k + 1) whole frames; the movie then repeats.
TEST_P(TimingTest, FrameKShowsAtTheRefreshPlaybackStepGives) {
  const std::uint32_t step = GetParam();
  const int frames = 5;
  const TestStream stream = numberedFrames(frames, step);
  const FrameSpotter spotter(stream);
  auto console = loadStream(stream);
  const auto shown = watch(*console, spotter, 70);

  const int start = firstRefreshShowing(shown, 0);
  ASSERT_GE(start, 0);
  auto due = [&](int k) {  // refreshes after the pass started until frame k is due
    return static_cast<int>((std::uint64_t{static_cast<std::uint32_t>(k) + 1} * 0x10000 + step - 1) / step);
  };
  const int passStart = start - due(0);
  for (int k = 0; k < frames; ++k) {
    const int from = passStart + due(k), until = passStart + due(k + 1);  // shows until the next is due
    for (int r = from; r < until && r < static_cast<int>(shown.size()); ++r)
      EXPECT_EQ(shown[r], k) << "refresh " << r;
  }
  // After the last frame the movie starts again from frame 0, on the same grid.
  const int secondPass = passStart + due(frames - 1);
  EXPECT_EQ(shown[secondPass + due(0)], 0);
  EXPECT_EQ(shown[secondPass + due(1)], 1);
}

INSTANTIATE_TEST_SUITE_P(Steps, TimingTest,
                         testing::Values(0x8000u,   // 30 frames per second
                                         0x6000u,   // 22.4 frames per second: uneven
                                         0x8095u)); // 30 frames per second as the converter writes it

// One frame per refresh cannot be shown at full screen (the copy alone takes
// half a refresh): a late decoder halts once per frame, so every frame is
// shown, in order, and the movie plays slower than real time.
TEST(Timing, ALateDecoderShowsEveryFrameInOrder) {
  const TestStream stream = numberedFrames(8, 0x10000);
  const FrameSpotter spotter(stream);
  auto console = loadStream(stream);
  const auto shown = watch(*console, spotter, 40);
  int expected = 0;
  for (int frame : shown) {
    if (frame < 0) continue;
    if (frame != expected) {
      EXPECT_EQ(frame, (expected + 1) % 8) << "a frame was skipped or repeated out of order";
      expected = frame;
    }
  }
  EXPECT_GT(expected + 0, 0);
  for (int k = 0; k < 8; ++k) EXPECT_GE(firstRefreshShowing(shown, k), 0) << "frame " << k << " never shown";
}

TEST(Keys, HoldingAPlaysFasterAndReleasingItReturnsToRealTime) {
  const TestStream stream = numberedFrames(60, 0x4000);  // a frame every 4 refreshes
  const FrameSpotter spotter(stream);
  auto console = loadStream(stream);
  console->runRefreshes(10);
  const int frameBefore = spotter.frameAtTopLeft(console->screen());
  ASSERT_GE(frameBefore, 0);
  console->runRefreshes(10, kKeyA);
  const int frameAfterFast = spotter.frameAtTopLeft(console->screen());
  const int advancedFast = frameAfterFast - frameBefore;
  // Real time is 2.5 frames in ten refreshes; these frames decode in under a refresh.
  EXPECT_GE(advancedFast, 5) << "A held must at least double the speed";
  console->runRefreshes(12);
  const int advancedSlow = spotter.frameAtTopLeft(console->screen()) - frameAfterFast;
  EXPECT_GE(advancedSlow, 2);
  EXPECT_LE(advancedSlow, 4);
}

TEST(Keys, ReleasingBAloneRestartsFromFrameZero) {
  const TestStream stream = numberedFrames(30, 0x8000);
  const FrameSpotter spotter(stream);
  auto console = loadStream(stream);
  watch(*console, spotter, 30);
  watch(*console, spotter, 4, kKeyB);
  const int frameWhenReleased = spotter.frameOn(console->screen());
  ASSERT_GE(frameWhenReleased, 10);
  const auto after = watch(*console, spotter, 12);
  // The restart clears the picture, then plays from the first frame.
  const int black = firstRefreshShowing(after, -1);
  const int restarted = firstRefreshShowing(after, 0);
  ASSERT_GE(restarted, 0) << "no restart";
  EXPECT_LT(black, restarted);
  EXPECT_EQ(after[restarted + 2], 1);
}

// Pressing B does nothing yet: the movie runs on for as long as B is held,
// and starts again from its first frame only once B is let go.
TEST(Keys, BRestartsOnReleaseNotOnPress) {
  const TestStream stream = numberedFrames(60, 0x8000);
  const FrameSpotter spotter(stream);
  auto console = loadStream(stream);
  watch(*console, spotter, 20);
  const int before = spotter.frameOn(console->screen());
  ASSERT_GE(before, 5);
  const auto held = watch(*console, spotter, 12, kKeyB);
  int last = before;
  for (std::size_t r = 0; r < held.size(); ++r) {
    EXPECT_GE(held[r], last) << "refresh " << r << " with B held: the movie restarted or went back";
    last = std::max(last, held[r]);
  }
  EXPECT_GE(held.back(), before + 5) << "the movie did not run on while B was held";
  const auto after = watch(*console, spotter, 10);
  const int restarted = firstRefreshShowing(after, 0);
  ASSERT_GE(restarted, 0) << "letting B go did not restart the movie";
  EXPECT_LE(restarted, 6);
}

TEST(Keys, ReleasingBTogetherWithAnotherKeyDoesNotRestart) {
  const TestStream stream = numberedFrames(40, 0x8000);
  const FrameSpotter spotter(stream);
  auto console = loadStream(stream);
  watch(*console, spotter, 30);
  watch(*console, spotter, 4, kKeyB | kKeySelect);
  const int frameWhenReleased = spotter.frameOn(console->screen());
  const auto after = watch(*console, spotter, 10);
  EXPECT_EQ(firstRefreshShowing(after, -1), -1);
  EXPECT_GT(after.back(), frameWhenReleased);
}

TEST(Keys, LRStartSelectLeavesThePlayer) {
  const TestStream stream = numberedFrames(40, 0x8000);
  const FrameSpotter spotter(stream);
  auto console = loadStream(stream);
  watch(*console, spotter, 20);
  watch(*console, spotter, 4, kKeyL | kKeyR | kKeyStart | kKeySelect);
  // The reset turned off the interrupts and the display before leaving.
  EXPECT_EQ(console->read16(0x04000208), 0u);  // IME
  EXPECT_EQ(console->read16(0x04000200), 0u);  // IE
  EXPECT_EQ(console->read16(0x04000102) & 0x80, 0u) << "the sound timer still runs";
  const auto after = watch(*console, spotter, 10);
  for (int shown : after) EXPECT_LT(shown, 0) << "the movie went on";
}

}  // namespace
}  // namespace zepra::test

namespace zepra::test {
namespace {

// The player image with nothing (or no movie) behind it: a black screen, no
// crash, no garbage.
TEST(BadStreams, AnImageWithoutAMovieShowsBlack) {
  struct Case {
    const char* name;
    Bytes stream;
  };
  TestStream zeroSize = numberedFrames(2, 0x8000);
  zeroSize.width = 0;
  TestStream oddSize = numberedFrames(2, 0x8000);
  oddSize.width = 238;
  const std::vector<Case> cases = {{"no stream, only padding", {}},
                                   {"no frames", Bytes(16, 0)},
                                   {"zero width", zeroSize.bytes()},
                                   {"width not a multiple of 4", oddSize.bytes()}};
  for (const Case& c : cases) {
    std::string error;
    auto console = ConsoleEmulator::load(cartridge(c.stream), error);
    ASSERT_NE(console, nullptr) << error;
    console->runRefreshes(30);
    const auto screen = console->screen();
    EXPECT_TRUE(std::all_of(screen.begin(), screen.end(), [](auto p) { return p == 0; }))
        << c.name;
  }
}

// A chunk that claims to be shorter than its own header ends its record's
// decoding; the movie goes on with the next record.
TEST(BadStreams, AChunkShorterThanItsHeaderDoesNotStallTheMovie) {
  TestStream stream = numberedFrames(6, 0x8000);
  Bytes broken = {0x22, 0, 0, 2, 1, 2, 3, 4};
  broken.insert(broken.end(), stream.frames[2].chunks.begin(), stream.frames[2].chunks.end());
  stream.frames[2].chunks = broken;
  const FrameSpotter spotter(numberedFrames(6, 0x8000));
  auto console = loadStream(stream);
  const auto shown = watch(*console, spotter, 20);
  EXPECT_GE(firstRefreshShowing(shown, 3), 0) << "the movie stopped at the broken record";
  EXPECT_GE(firstRefreshShowing(shown, 5), 0);
}

}  // namespace
}  // namespace zepra::test
