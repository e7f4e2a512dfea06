// Resuming a long video of a cartridge made with the cartridge's key frames:
// ten minutes in, the player shows the very frame it was left at within a
// few seconds of the key press, and plays on with that video's own sound
// from the place it was left.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cinepak/reference_decoder.h"
#include "encoder/stream_encoder.h"
#include "format/cinepak.h"
#include "format/resume_save.h"
#include "job/settings_model.h"
#include "platform/job_state.h"
#include "player/host/console_emulator.h"
#include "player/player_image.h"
#include "player/sound_decode.h"
#include "tests/encoder/clip_encoding.h"
#include "tests/encoder/stream_walker.h"
#include "tests/player/sound_reference.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

// A long video: its frame rate and bitrate, and how long it lasts.
struct ResumeCase {
  const char* name;
  int framesPerSecond;  // 30, or 15 (every second frame of 30)
  std::uint32_t playbackStep;
  int bitrate;
  int minutes;
};

void PrintTo(const ResumeCase& c, std::ostream* os) { *os << c.name; }

// Two key-frame intervals of a moving picture as the converter makes it for
// a cartridge: 240 x 160, with the cartridge's key frames. It starts with a
// key frame, so copies of it follow each other as one stream.
std::vector<FrameRecord> convertedSegment(const ResumeCase& c) {
  notifyWindow = nullptr;
  jobCancelled = false;
  StreamEncoder encoder;
  encoder.setKeyFrameInterval(kCartridgeKeyFrameSeconds);
  ClipToEncode clip;
  clip.frames = static_cast<int>(2 * kCartridgeKeyFrameSeconds * 30);
  clip.frameRateMode = c.framesPerSecond == 30 ? 0 : 3;
  clip.bitrate = c.bitrate;
  const std::string path = temporaryPath("segment.stream");
  EXPECT_TRUE(encodeClip(encoder, clip, path));
  const WalkedStream walked = walkStream(path);
  EXPECT_EQ(walked.playbackStep, c.playbackStep);
  std::vector<FrameRecord> records;
  for (const StreamRecord& r : walked.records) records.push_back({r.stripType, r.stripData});
  return records;
}

// Sound that differs from moment to moment: a quarter of a second of each
// tone, the tones in an order of their own, so that only the right place of
// the trailer matches what is heard.
std::vector<std::int16_t> melody(std::size_t samples, unsigned seed) {
  std::vector<std::int16_t> out(samples);
  double phase = 0;
  for (std::size_t i = 0; i < samples; ++i) {
    const unsigned note = (static_cast<unsigned>(i / 5256) + seed * 100000u) * 2654435761u;
    phase += 2 * M_PI * (220.0 + (note >> 22) % 24 * 40.0) / 21024;
    out[i] = static_cast<std::int16_t>(18000 * std::sin(phase));
  }
  return out;
}

TestStream longVideo(const std::vector<FrameRecord>& segment, std::uint32_t step, std::size_t copies, unsigned seed) {
  TestStream stream;
  stream.playbackStep = step;
  for (std::size_t c = 0; c < copies; ++c) stream.frames.insert(stream.frames.end(), segment.begin(), segment.end());
  const std::uint64_t refreshes = std::uint64_t{stream.frames.size()} * 0x10000 / step;
  stream.audioBlocks = encodeTrailer(melody(refreshes * kBlockSamples, seed));
  return stream;
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

class ResumeWithKeyFrames : public testing::TestWithParam<ResumeCase> {};

TEST_P(ResumeWithKeyFrames, TheLeftFrameShowsWithinSecondsWithItsOwnSound) {
  const ResumeCase& c = GetParam();
  const std::uint32_t keyEvery = static_cast<std::uint32_t>(kCartridgeKeyFrameSeconds * c.framesPerSecond);
  const std::vector<FrameRecord> segment = convertedSegment(c);
  ASSERT_EQ(segment.size(), 2 * keyEvery);
  ASSERT_EQ(segment[keyEvery].stripType, kIntraStrip) << "the converter made no key frame where it was due";
  const TestStream shortVideo = longVideo(segment, c.playbackStep, 1, 1);
  const auto copies = static_cast<std::size_t>(c.minutes * 60 / (2 * kCartridgeKeyFrameSeconds));
  const TestStream longOne = longVideo(segment, c.playbackStep, copies, 2);
  const Bytes image = menuCartridge({{"Short", shortVideo.bytes()}, {"Long", longOne.bytes()}});
  ASSERT_FALSE(image.empty());

  // Left just before a key frame, eight seconds from the end: the most
  // frames to decode from the key frame the converter made. The sound as
  // the player had it then: the block due and the decoder's state before it.
  const std::uint32_t frame = static_cast<std::uint32_t>(longOne.frames.size() - segment.size()) - 1;
  const std::uint32_t block = static_cast<std::uint32_t>(std::uint64_t{frame} * 0x10000 / c.playbackStep);
  s32 predictor = 0, stepIndex = 0;
  std::vector<s8> skipped(2 * kBlockBytes * std::size_t{block});
  decodeAdpcm(skipped.data(), longOne.audioBlocks.data(), kBlockBytes * block, &predictor, &stepIndex);

  // The save the player would have written then.
  Bytes save(0x8000, 0xFF);
  const std::size_t directoryAt = playerImage().size();
  const std::size_t hashed = ZEPRA_SAVE_HASHED_BYTES(2);
  std::fill_n(save.begin(), hashed, 0);
  put32(save, 0, ZEPRA_SAVE_MAGIC);
  put32(save, ZEPRA_SAVE_SEQUENCE_AT, 7);
  put32(save, 8, zepraSaveHash(ZEPRA_SAVE_HASH_START, image.data() + directoryAt,
                               ZEPRA_DIRECTORY_HEADER_BYTES + 2 * ZEPRA_DIRECTORY_ENTRY_BYTES));
  put32(save, 12, 2);
  const std::size_t position = ZEPRA_SAVE_HEADER_BYTES + ZEPRA_SAVE_POSITION_BYTES;
  put32(save, position, frame);
  put32(save, position + 8, block);
  put32(save, position + 12, static_cast<std::uint32_t>(predictor));
  put32(save, position + 16, static_cast<std::uint32_t>(stepIndex));
  put32(save, hashed, zepraSaveHash(ZEPRA_SAVE_HASH_START, save.data(), static_cast<unsigned>(hashed)));

  // The frame it was left at, decoded from the very start.
  ReferenceDecoder decoder(240, 160);
  for (std::uint32_t k = 0; k <= frame; ++k)
    ASSERT_TRUE(decoder.decodeStrip(longOne.frames[k].stripType, longOne.frames[k].chunks)) << k;
  const std::vector<std::uint16_t> left(decoder.picture().begin(), decoder.picture().end());

  std::string error;
  auto console = ConsoleEmulator::load(image, error, save);
  ASSERT_NE(console, nullptr) << error;
  console->runRefreshes(10);
  console->runRefreshes(8, kKeyDown);
  console->runRefreshes(8);
  console->runRefreshes(8, kKeyA);  // the menu acts when A is released
  const std::vector<std::uint16_t> want = centredScreen(left, 240, 160);
  auto showsLeftFrame = [&] {
    const ConsoleScreen screen = console->screen();
    return std::equal(want.begin(), want.end(), screen.begin());
  };
  int waited = 0;
  while (waited < 60 * 60 && !showsLeftFrame()) {
    console->runRefresh();
    ++waited;
  }
  std::printf("%s: resumed %u frames (%.1f minutes) in, %u frames after a key frame: the frame shows %d refreshes "
              "(%.2f s) after A\n",
              c.name, frame, frame / double(c.framesPerSecond) / 60, frame % keyEvery, waited, waited / 59.7275);
  ASSERT_LT(waited, 60 * 60) << "the frame it was left at never showed";
  EXPECT_LE(waited, 3 * 60) << "resuming took more than three seconds";

  // Its own sound, from where it was left: two seconds of it. The sound
  // starts a refresh or two before the frame shows, so what is heard from
  // now on is found a little ahead of the block it was left at.
  console->takeSound();
  console->runRefreshes(120);
  const auto played = withoutMean(console->takeSound());
  const auto trailer = decodeTrailer(longOne.audioBlocks);
  const std::vector<std::int8_t> fromBlock(trailer.begin() + std::ptrdiff_t{block + 4} * kBlockSamples, trailer.end());
  int lag = 0;
  const double own = bestCorrelation(played, atEmulatorRate(fromBlock, played.size() / 2), 6 * 548, &lag);
  const auto otherTrailer = decodeTrailer(shortVideo.audioBlocks);
  const double other = bestCorrelation(played, atEmulatorRate(otherTrailer, played.size() / 2), 6 * 548, &lag);
  EXPECT_GT(own, 0.9);
  EXPECT_LT(other, 0.5);
}

// Ten minutes at a bitrate that fits a cartridge, and the costliest frames to
// decode: the full screen at 30 frames a second and a high bitrate.
INSTANTIATE_TEST_SUITE_P(Videos, ResumeWithKeyFrames,
                         testing::Values(ResumeCase{"TenMinutesAt15Fps", 15, 16458, 30, 10},
                                         ResumeCase{"OneMinuteAt30FpsAndAHighBitrate", 30, 32917, 200, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zepra::test
