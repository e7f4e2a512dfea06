// The frame encoder's view of the player must be the player's: the codebook
// entries it matches blocks against are exactly those a decoder of the
// stream holds, through full loads, partial updates, prefix loads and grey
// chunks, so inter frames never drift.
#include "cinepak/frame_encoder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "cinepak/frame_budget.h"
#include "tests/cinepak/test_clips.h"

namespace zepra {
namespace {

using test::Clip;

void expectSameCodebooks(const Codebook& ours, const ReferenceDecoder& player, bool v1, int frame) {
  for (int i = 0; i < Codebook::kEntries; ++i) {
    if (!ours.valid(i)) continue;
    EXPECT_EQ(ours.pixels(i), v1 ? player.v1Entry(i) : player.v4Entry(i))
        << (v1 ? "V1" : "V4") << " entry " << i << " frame " << frame;
  }
}

TEST(FrameEncoder, ItsCodebooksAreThePlayers) {
  constexpr int kWidth = 96, kHeight = 64;
  // Colour, then grey, then colour again, at budgets from tight to generous.
  std::vector<test::Frame> clip = test::makeClip(Clip::kShapes, kWidth, kHeight, 4);
  for (const auto& f : test::makeClip(Clip::kGrey, kWidth, kHeight, 4)) clip.push_back(f);
  for (const auto& f : test::makeClip(Clip::kGradient, kWidth, kHeight, 4)) clip.push_back(f);
  for (std::size_t budget : {600u, 1500u, 6000u}) {
    SourceFrame source;
    source.resize(kWidth, kHeight);
    FrameEncoder encoder;
    encoder.begin(kWidth, kHeight, EncoderEffort{});
    ReferenceDecoder independent(kWidth, kHeight);
    std::vector<std::uint8_t> out(FrameEncoder::maxFrameSize(kWidth, kHeight));
    for (std::size_t n = 0; n < clip.size(); ++n) {
      source.load(clip[n].data());
      const std::size_t length =
          encoder.encode(source, n == 0, budget, lambdaForQuality(kDefaultQuality), out.data());
      ASSERT_TRUE(independent.decodeFrame({out.data(), length})) << n;
      const int frame = static_cast<int>(n);
      expectSameCodebooks(encoder.v1Codebook(), independent, true, frame);
      expectSameCodebooks(encoder.v4Codebook(), independent, false, frame);
      ASSERT_TRUE(std::equal(independent.picture().begin(), independent.picture().end(),
                             encoder.player().picture().begin()));
    }
  }
}

// Budgets below a frame's smallest size: the frame comes out no larger than
// minFrameSize says, which the size plans and the key frames rely on.
TEST(FrameEncoder, AStarvedFrameIsNoLargerThanItsSmallestSize) {
  struct Size { int width, height; };
  for (const Size size : {Size{240, 160}, Size{240, 136}, Size{96, 64}}) {
    for (const Clip kind : {Clip::kShapes, Clip::kGrey, Clip::kGradient}) {
      const std::vector<test::Frame> clip = test::makeClip(kind, size.width, size.height, 3);
      SourceFrame source;
      source.resize(size.width, size.height);
      FrameEncoder encoder;
      encoder.begin(size.width, size.height, EncoderEffort{});
      std::vector<std::uint8_t> out(FrameEncoder::maxFrameSize(size.width, size.height));
      for (std::size_t n = 0; n < clip.size(); ++n) {
        source.load(clip[n].data());
        const bool intra = n != 1;  // an intra frame after an inter one too
        const std::size_t length = encoder.encode(source, intra, 1, lambdaForQuality(kDefaultQuality), out.data());
        EXPECT_LE(length, FrameEncoder::minFrameSize(size.width, size.height, intra))
            << size.width << "x" << size.height << " clip " << static_cast<int>(kind) << " frame " << n;
      }
    }
  }
}

// Two threads share the encoder's loops; the frames must be those of one.
TEST(FrameEncoder, TwoThreadsGiveTheSameFramesAsOne) {
  constexpr int kWidth = 240, kHeight = 160;
  std::vector<test::Frame> clip = test::makeClip(Clip::kShapes, kWidth, kHeight, 3);
  for (const auto& f : test::makeClip(Clip::kNoise, kWidth, kHeight, 2)) clip.push_back(f);
  for (const auto& f : test::makeClip(Clip::kGrey, kWidth, kHeight, 2)) clip.push_back(f);
  for (const auto& f : test::makeClip(Clip::kGradient, kWidth, kHeight, 3)) clip.push_back(f);
  SourceFrame source;
  source.resize(kWidth, kHeight);
  FrameEncoder one(1), two(2);
  ASSERT_EQ(one.threads(), 1);
  ASSERT_EQ(two.threads(), 2);
  for (std::size_t budget : {1500u, 8000u}) {
    one.begin(kWidth, kHeight, EncoderEffort{});
    two.begin(kWidth, kHeight, EncoderEffort{});
    std::vector<std::uint8_t> a(FrameEncoder::maxFrameSize(kWidth, kHeight)), b(a.size());
    for (std::size_t n = 0; n < clip.size(); ++n) {
      source.load(clip[n].data());
      const float floor = lambdaForQuality(kDefaultQuality);
      const std::size_t lengthA = one.encode(source, n == 0, budget, floor, a.data());
      const std::size_t lengthB = two.encode(source, n == 0, budget, floor, b.data());
      ASSERT_EQ(lengthA, lengthB) << "budget " << budget << " frame " << n;
      ASSERT_TRUE(std::equal(a.begin(), a.begin() + lengthA, b.begin())) << "budget " << budget << " frame " << n;
    }
  }
}

// A frame cut into blocks on two threads is the frame cut on one: every
// vector, every pixel, and the grey flag, which one coloured pixel in the
// last block clears.
TEST(FrameEncoder, AFrameIsCutTheSameOnTwoThreads) {
  constexpr int kWidth = 240, kHeight = 160;
  std::vector<test::Frame> frames = test::makeClip(Clip::kShapes, kWidth, kHeight, 1);
  frames.push_back(test::makeClip(Clip::kGrey, kWidth, kHeight, 1).front());
  frames.push_back(frames.back());
  frames.back()[2] ^= 0x40;  // bottom-up rows: the first pixel of the last block row
  SplitLoop loop(2);
  ASSERT_EQ(loop.threads(), 2);
  for (std::size_t n = 0; n < frames.size(); ++n) {
    SourceFrame one, two;
    one.resize(kWidth, kHeight);
    two.resize(kWidth, kHeight);
    one.load(frames[n].data());
    two.load(frames[n].data(), loop);
    EXPECT_EQ(one.grey(), two.grey()) << "frame " << n;
    EXPECT_EQ(two.grey(), n == 1) << "frame " << n;
    for (int b = 0; b < one.blockCount(); ++b) {
      ASSERT_TRUE(std::equal(one.blockRgb(b), one.blockRgb(b) + 48, two.blockRgb(b))) << "frame " << n << " block " << b;
      ASSERT_EQ(0, std::memcmp(&one.v1Vector(b), &two.v1Vector(b), sizeof(Vector6))) << "frame " << n << " block " << b;
      ASSERT_EQ(one.v1Detail(b), two.v1Detail(b)) << "frame " << n << " block " << b;
      for (int q = 0; q < 4; ++q)
        ASSERT_EQ(0, std::memcmp(&one.v4Vector(b, q), &two.v4Vector(b, q), sizeof(Vector6))) << "frame " << n;
    }
  }
}

}  // namespace
}  // namespace zepra
