// The player's sound: the table-driven decode in the console's sound buffers
// against the encoder's own update rule, and the sound the emulator plays
// against the decoded trailer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "player/host/console_emulator.h"
#include "player/player_image.h"
#include "tests/player/player_probe.h"
#include "tests/player/sound_reference.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

// Frames enough to outlast the sound at 30 frames per second.
TestStream streamWithSound(const Bytes& trailer) {
  TestStream stream;
  stream.playbackStep = 0x8000;
  const int refreshes = static_cast<int>(trailer.size() / kBlockBytes);
  for (int k = 0; k < refreshes / 2 + 2; ++k) {
    const auto y = static_cast<std::uint8_t>(8 * (k % 30) + 4);
    Bytes chunks = chunk(0x22, colourEntry(y, y, y, y, 0, 0));
    const Bytes blocks = chunk(0x32, Bytes(60 * 40, 0));
    chunks.insert(chunks.end(), blocks.begin(), blocks.end());
    stream.frames.push_back({0x1000, chunks});
  }
  stream.audioBlocks = trailer;
  return stream;
}

TEST(Sound, EveryBlockDecodesExactlyAsTheEncoderPredicted) {
  const Bytes trailer = encodeTrailer(testSound(21024 / 2, 2));
  int maxStepIndex = 0;
  const auto want = decodeTrailer(trailer, &maxStepIndex);
  EXPECT_GE(maxStepIndex, 44) << "the loud burst should reach the largest steps";
  const TestStream stream = streamWithSound(trailer);
  const auto symbols = playerSymbols();
  const std::uint32_t state = symbols.at("soundState");
  const std::uint32_t blocks = 0x08000000u + static_cast<std::uint32_t>(playerImage().size()) +
                               static_cast<std::uint32_t>(stream.bytes().size() - trailer.size());

  std::string error;
  auto console = ConsoleEmulator::load(cartridge(stream.bytes()), error);
  ASSERT_NE(console, nullptr) << error;
  std::vector<bool> seen(trailer.size() / kBlockBytes, false);
  for (int r = 0; r < static_cast<int>(seen.size()) + 4; ++r) {
    console->runRefresh();
    const std::uint32_t buffer = console->read32(state);           // currentBuffer
    const std::uint32_t next = console->read32(state + 12);        // blockPointer
    if (next <= blocks) continue;
    const std::size_t k = (next - blocks) / kBlockBytes - 1;       // the block just decoded
    if (k >= seen.size() || seen[k]) continue;
    seen[k] = true;
    for (int i = 0; i < kBlockSamples; ++i) {
      const auto got = static_cast<std::int8_t>(console->read32(buffer + i) & 0xFF);
      ASSERT_EQ(got, want[k * kBlockSamples + i]) << "block " << k << " sample " << i;
    }
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), static_cast<long>(seen.size()));
}

// Largest step between neighbouring samples: a tone moves, silence (and the
// slow settling of the emulator's output filter after a stop) hardly does.
int largestStep(const std::vector<std::int16_t>& samples, std::size_t from, std::size_t to) {
  int largest = 0;
  for (std::size_t i = from + 1; i < std::min(to, samples.size()); ++i)
    largest = std::max(largest, std::abs(samples[i] - samples[i - 1]));
  return largest;
}

// A movie that outlasts its sound, with loud sound coded in the bytes after
// the trailer's last block: the player stops where the blocks end and never
// plays what follows them.
TEST(Sound, EndsWhereItsBlocksEndEvenWhenTheMovieRunsOn) {
  const Bytes trailer = encodeTrailer(testSound(21024 / 4, 40));
  const int blocks = static_cast<int>(trailer.size() / kBlockBytes);
  TestStream stream = streamWithSound(trailer);
  while (stream.frames.size() < 40) stream.frames.push_back(stream.frames[stream.frames.size() % 4]);
  std::vector<std::int16_t> tone(21024);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<std::int16_t>(20000 * std::sin(i * 0.13));
  Bytes bytes = stream.bytes();
  const Bytes loud = encodeTrailer(tone);
  bytes.insert(bytes.end(), loud.begin(), loud.end());

  std::string error;
  auto console = ConsoleEmulator::load(cartridge(bytes), error);
  ASSERT_NE(console, nullptr) << error;
  console->runRefreshes(70);  // the movie lasts 80 refreshes: one pass only
  const auto sound = console->takeSound();
  constexpr std::size_t kPerRefresh = 548;  // emulator samples
  const int heard = largestStep(sound, 0, (blocks + 4) * kPerRefresh);
  const int afterwards = largestStep(sound, (blocks + 6) * kPerRefresh, sound.size());
  ASSERT_GT(heard, 500) << "the trailer was not heard";
  EXPECT_LT(afterwards, heard / 20) << "sound played after the last block";
}

TEST(Sound, EmulatorPlaysTheTrailerWithTheMovieAndRestartsWithIt) {
  const Bytes trailer = encodeTrailer(testSound(21024 / 2, 40));
  const auto want = decodeTrailer(trailer);
  const TestStream stream = streamWithSound(trailer);
  std::string error;
  auto console = ConsoleEmulator::load(cartridge(stream.bytes()), error);
  ASSERT_NE(console, nullptr) << error;

  // The first pass: the sound starts with the movie, one refresh late.
  const int refreshes = static_cast<int>(trailer.size() / kBlockBytes);
  console->runRefreshes(refreshes);
  const auto firstPass = withoutMean(console->takeSound());
  const auto reference = atEmulatorRate(want, kEmulatorSoundRate / 3);
  int lag = 0;
  EXPECT_GT(bestCorrelation(firstPass, reference, 6 * 548, &lag), 0.95);
  // The pass starts during refresh 1; the first refresh interrupt of the pass
  // starts the silent buffer and block 0 follows one refresh later (548
  // emulator samples per refresh).
  EXPECT_GE(lag, 2 * 548) << "the sound came before the movie";
  EXPECT_LE(lag, 4 * 548) << "the sound lags the movie";

  // B released: the sound starts again from its first block.
  console->runRefreshes(3, kKeyB);
  console->takeSound();
  console->runRefreshes(refreshes);
  const auto restarted = withoutMean(console->takeSound());
  int restartLag = 0;
  EXPECT_GT(bestCorrelation(restarted, reference, 6 * 548, &restartLag), 0.95);
}

}  // namespace
}  // namespace zepra::test
