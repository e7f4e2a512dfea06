// The decoder must keep up on the console: the worst stream the converter can
// make at 240x160 (every frame intra, every block V4, both codebooks loaded in
// full) at 30 frames per second, with sound, plays with no frame late.
// Cycles are the emulator's, so the figures are exact and repeatable.

#include <gtest/gtest.h>

#include <algorithm>


#include "player/host/console_emulator.h"
#include "tests/player/player_probe.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

Bytes fullColourCodebook(int seed) {
  Bytes out;
  for (int i = 0; i < 256; ++i) {
    const Bytes e = colourEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i + seed),
                                static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 3),
                                static_cast<std::int8_t>(i - 128), static_cast<std::int8_t>(seed - i));
    out.insert(out.end(), e.begin(), e.end());
  }
  return out;
}

FrameRecord worstCaseFrame(int seed) {
  Bytes chunks = chunk(0x20, fullColourCodebook(seed));
  const Bytes v1 = chunk(0x22, fullColourCodebook(seed + 1));
  chunks.insert(chunks.end(), v1.begin(), v1.end());
  Bytes blocks;
  for (int b = 0; b < 60 * 40; b += 32) {
    appendBigEndian32(blocks, 0xFFFFFFFFu);
    for (int i = 0; i < 32 * 4; ++i) blocks.push_back(static_cast<std::uint8_t>(b * 7 + i * 13 + seed));
  }
  const Bytes v4 = chunk(0x30, blocks);
  chunks.insert(chunks.end(), v4.begin(), v4.end());
  return {0x1000, chunks};
}

TestStream worstCaseStream() {
  TestStream stream;
  stream.playbackStep = 32917;  // 30 frames per second as the converter writes it
  for (int f = 0; f < 6; ++f) stream.frames.push_back(worstCaseFrame(f * 17));
  // Loud sound keeps the refill busy and the step index high.
  for (int i = 0; i < 176 * 16; ++i) stream.audioBlocks.push_back(static_cast<std::uint8_t>(i % 3 ? 0x77 : 0xFF));
  return stream;
}

TEST(DecodeCycles, WorstCaseFullScreenStreamKeepsThirtyFramesPerSecondWithSound) {
  const TestStream stream = worstCaseStream();

  std::string error;
  auto console = ConsoleEmulator::load(cartridge(stream.bytes()), error);
  ASSERT_NE(console, nullptr) << error;
  const auto costs = measureDecoding(*console, 6);
  std::uint64_t worst = 0;
  for (std::size_t f = 0; f < costs.size(); ++f) {
    worst = std::max(worst, costs[f].decodeCycles);
    EXPECT_FALSE(costs[f].late) << "frame " << f << " was late";
  }
  // The sound refill of a loud passage, once per refresh in the interrupt.
  const auto refills = measureCalls(*console, "refillSound", 4);
  const std::uint64_t refill = refills.empty() ? 0 : *std::max_element(refills.begin(), refills.end());
  RecordProperty("worst_decode_cycles", std::to_string(worst));
  RecordProperty("refill_cycles", std::to_string(refill));
  std::printf("worst-case frame decode: %llu cycles (%.2f refreshes); sound refill: %llu cycles\n",
              static_cast<unsigned long long>(worst), static_cast<double>(worst) / kCyclesPerRefresh,
              static_cast<unsigned long long>(refill));
}

}  // namespace
}  // namespace zepra::test

namespace zepra::test {
namespace {

// Leaving a cartridge's menu for a video costs its first frames nothing:
// measured from the refresh at which A is released, the first frame included.
TEST(DecodeCycles, NoFrameIsLateWhenAVideoStartsFromTheMenu) {
  const Bytes stream = worstCaseStream().bytes();
  std::string error;
  auto console = ConsoleEmulator::load(menuCartridge({{"One", stream}, {"Two", stream}}), error);
  ASSERT_NE(console, nullptr) << error;
  console->runRefreshes(20);
  console->runRefreshes(2, kKeyDown);
  console->runRefreshes(2);
  console->runRefreshes(2, kKeyA);
  console->holdKeys(0);
  const auto costs = measureDecoding(*console, 6);
  ASSERT_EQ(costs.size(), 6u);
  for (std::size_t f = 0; f < costs.size(); ++f) EXPECT_FALSE(costs[f].late) << "frame " << f << " was late";
}

}  // namespace
}  // namespace zepra::test
