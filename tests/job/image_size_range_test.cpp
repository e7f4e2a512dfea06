// The size formulas against the real stream encoder: a compressor double that
// spends every budget to the full (never below the smallest frame our
// compressor makes) gives exactly the largest total, and the stream it leaves
// is exactly the size the formulas give.

#include "job/image_size_range.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "cinepak/frame_budget.h"
#include "cinepak/cinepak_compressor.h"
#include "cinepak/frame_encoder.h"
#include "job/rom_builder.h"
#include "tests/encoder/encoder_harness.h"

namespace zepra::test {
namespace {

struct PacingCase {
  const char* name;
  int bitrate;
  std::int64_t frameDuration;  // 100 ns units
  int width, height;
  std::uint32_t frames;
  double keyFrameSeconds = 0;  // a key frame asked for this often (0: only the first)
};

class LargestSize : public EncoderTest, public ::testing::WithParamInterface<PacingCase> {};

TEST_P(LargestSize, IsWhatThePacingLetsFullFramesSpendAndTheStreamWeighsWhatTheFormulaSays) {
  const PacingCase& c = GetParam();
  SourceVideo source;
  source.width = c.width;
  source.height = c.height;
  source.frameDuration = c.frameDuration;
  source.bitrate = c.bitrate;
  // Every frame spends its whole budget, within the longest frame, and is
  // never smaller than the compressor's smallest.
  source.outputWidth = c.width;
  source.outputHeight = c.height;
  // Key frames are intra-coded: never below the smallest intra frame.
  script->reshape = [this, c](std::int32_t n, std::vector<std::uint8_t>& frame) {
    const bool intra = n == 0 || (script->frameFlags.back() & kCompressKeyFrame) != 0;
    const std::uint64_t smallest = FrameEncoder::minFrameSize(c.width, c.height, intra);
    const std::uint64_t length =
        std::max<std::uint64_t>(std::min<std::uint64_t>(script->frameSizes.back(), kMaxFrameLength), smallest);
    frame = makeCinepakFrame(static_cast<std::uint32_t>(length), c.width, c.height, intra ? 0x1000 : 0x1100, 1);
  };
  script->maxFrameBytes = kMaxFrameLength;
  encoder.setKeyFrameInterval(c.keyFrameSeconds);
  ASSERT_TRUE(open(source, c.frames));
  for (std::uint32_t k = 0; k < c.frames; ++k) ASSERT_TRUE(add(k * c.frameDuration / 1e7, 9)) << lastErrorText();
  ASSERT_TRUE(encoder.closeStream());

  StreamShape shape;
  shape.frames = encoder.framesEncoded();
  shape.rate = encoder.outputRate();
  shape.width = c.width;
  shape.height = c.height;
  ASSERT_EQ(shape.frames, c.frames);
  EXPECT_EQ(largestFrameBytes(shape, c.bitrate, keyFrameInterval(c.keyFrameSeconds, shape.rate)),
            encoder.bytesEncoded());
  EXPECT_EQ(unpaddedImageBytes(0, shape, encoder.bytesEncoded()), std::filesystem::file_size(path));
  EXPECT_LE(smallestFrameBytes(shape), encoder.bytesEncoded());
}

INSTANTIATE_TEST_SUITE_P(
    Pacing, LargestSize,
    ::testing::Values(
        PacingCase{"OnTheRunningTotal", 120, 333333, 16, 16, 120},
        PacingCase{"IntraAboveItsShareThenCatchingUp", 3, 333333, 240, 160, 60},
        PacingCase{"SharesBelowTheSmallestFrame", 1, 166667, 16, 16, 90},
        PacingCase{"SharesAboveTheLongestFrame", 500, 10000000, 16, 16, 12},
        PacingCase{"TwentyFiveFramesASecond", 77, 400000, 64, 48, 101},
        PacingCase{"KeyFramesAboveTheirShare", 3, 333333, 240, 160, 200, 1.0},
        PacingCase{"KeyFramesWithinTheirShare", 120, 333333, 16, 16, 120, 1.0},
        PacingCase{"KeyFramesAndSharesBelowTheSmallestFrame", 1, 166667, 16, 16, 90, 0.5}),
    [](const auto& info) { return std::string(info.param.name); });

// 300 frames of a full screen at `perSecond` frames a second.
StreamShape fullScreenFrames(std::uint32_t perSecond) { return {300, {perSecond * 1000, 1000}, 240, 160, 0}; }

TEST(ImageSize, PaddingTargetsAndTheLongestVideoThatFits) {
  StreamShape shape = fullScreenFrames(30);
  // 300 frames at 30 per second last 597 refreshes: 598 blocks with the one added.
  EXPECT_EQ(trailerBytes(shape), 4u + 598u * 176u);
  // Sound longer than the video sets the trailer.
  shape.audioSamples = 21024 * 20;
  EXPECT_EQ(trailerBytes(shape), 4u + ((21024u * 20 + 351) / 352 + 1) * 176u);
  shape.audioSamples = 0;

  EXPECT_EQ(paddedImageBytes(44408), 65536u);
  EXPECT_EQ(paddedImageBytes(65536), 65536u);
  EXPECT_EQ(paddedImageBytes(65537), 98304u);

  // What a target leaves for the frames keeps the padded image within it.
  const std::uint64_t player = 44408;
  for (const std::uint64_t target : {kMiB, kMiB + 5000, 3 * kMiB / 2 + 1}) {
    const std::uint64_t frames = frameBytesWithin(player, shape, target);
    ASSERT_GT(frames, 0u);
    EXPECT_LE(paddedImageBytes(unpaddedImageBytes(player, shape, frames)), target);
    EXPECT_GT(paddedImageBytes(unpaddedImageBytes(player, shape, frames + kRomAlignment)), target);
  }
  EXPECT_EQ(frameBytesWithin(player, shape, 64 * 1024), 0u);

  // The longest video whose smallest image fits 32 MiB: one frame more does not.
  const std::uint32_t longest = longestFittingFrames(player, shape, kCartridgeSizes.back());
  StreamShape probe = shape;
  probe.frames = longest;
  EXPECT_LE(unpaddedImageBytes(player, probe, smallestFrameBytes(probe)), kCartridgeSizes.back());
  probe.frames = longest + 1;
  EXPECT_GT(unpaddedImageBytes(player, probe, smallestFrameBytes(probe)), kCartridgeSizes.back());
  // The sound alone takes about 10.3 KiB a second: some 52 minutes fit.
  EXPECT_NEAR(streamSeconds({longest, shape.rate, 240, 160, 0}) / 60.0, 52.0, 1.5);

  EXPECT_EQ(smallestCartridgeFor(4 * kMiB), 4 * kMiB);
  EXPECT_EQ(smallestCartridgeFor(4 * kMiB + 1), 8 * kMiB);
  EXPECT_EQ(smallestCartridgeFor(32 * kMiB + 1), 0u);
}

// The bitrate a target implies: its largest image fits the target, one
// kilobyte a second more would not (unless it is already the highest).
TEST(ImageSize, TheBitrateATargetImplies) {
  const StreamShape shape = fullScreenFrames(15);
  const std::uint64_t player = 44408;
  for (const std::uint64_t target : {kMiB / 2, kMiB, 4 * kMiB}) {
    const int bitrate = bitrateForTarget(player, shape, target, 500);
    ASSERT_GT(bitrate, 0) << target;
    auto image = [&](int b) { return paddedImageBytes(unpaddedImageBytes(player, shape, largestFrameBytes(shape, b))); };
    EXPECT_LE(image(bitrate), target);
    if (bitrate < 500) {
      EXPECT_GT(image(bitrate + 1), target) << target;
    }
  }
  EXPECT_EQ(bitrateForTarget(player, shape, 32 * kMiB, 500), 500);  // more room than the highest fills
  EXPECT_EQ(bitrateForTarget(player, shape, 64 * 1024, 500), 0);    // not even the smallest frames
}

}  // namespace
}  // namespace zepra::test
