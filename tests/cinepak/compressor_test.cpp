// The compressor through the calls the stream encoder makes: refusals, the
// frame layout, size targets, round trips through our reference decoder and
// FFmpeg's decoder, quality floors on synthetic clips.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <set>

#include "tests/cinepak/compress_session.h"
#include "tests/cinepak/ffmpeg_cinepak.h"

namespace zepra {
namespace {

using test::Clip;
using test::ClipResult;
using test::compressClip;
using test::decodeAndMeasure;
using test::Frame;
using test::inputFormat;

unsigned big16(const Frame& f, std::size_t at) { return f[at] << 8 | f[at + 1]; }

// Chunk types of a frame's strip, in order.
std::vector<int> chunkTypes(const Frame& f) {
  std::vector<int> types;
  for (std::size_t pos = 22; pos + 4 <= f.size(); pos += big16(f, pos + 2)) {
    types.push_back(f[pos]);
    if (big16(f, pos + 2) < 4) break;
  }
  return types;
}

TEST(CinepakCompressor, LocateRefusesWhatItCannotTake) {
  struct Case { const char* name; BitmapInfoHeader format; };
  auto with = [](auto change) {
    BitmapInfoHeader h = inputFormat(240, 160);
    change(h);
    return h;
  };
  const Case refused[] = {
      {"zero width", with([](auto& h) { h.biWidth = 0; })},
      {"zero height", with([](auto& h) { h.biHeight = 0; })},
      {"width 238", with([](auto& h) { h.biWidth = 238; })},
      {"height 158", with([](auto& h) { h.biHeight = 158; })},
      {"top-down rows", with([](auto& h) { h.biHeight = -160; })},
      {"32-bit pixels", with([](auto& h) { h.biBitCount = 32; })},
      {"compressed input", with([](auto& h) { h.biCompression = kFourccCvid; })},
      {"wider than the screen", with([](auto& h) { h.biWidth = 244; })},
      {"taller than the screen", with([](auto& h) { h.biHeight = 164; })},
  };
  for (const Case& c : refused) EXPECT_EQ(locateCinepakCompressor(c.format), nullptr) << c.name;
  for (auto [w, h] : {std::pair{240, 160}, {4, 4}, {240, 136}, {212, 160}})
    EXPECT_NE(locateCinepakCompressor(inputFormat(w, h)), nullptr) << w << "x" << h;
}

TEST(CinepakCompressor, AnswersTheSessionCalls) {
  const BitmapInfoHeader input = inputFormat(64, 32);
  auto compressor = locateCinepakCompressor(input);
  ASSERT_NE(compressor, nullptr);
  BitmapInfoHeader output;
  ASSERT_EQ(compressor->getOutputFormat(input, output), kIcErrOk);
  EXPECT_EQ(output.biCompression, kFourccCvid);
  EXPECT_EQ(output.biWidth, 64);
  EXPECT_EQ(output.biHeight, 32);
  EXPECT_EQ(compressor->getOutputFormat(inputFormat(32, 32), output), kIcErrBadFormat);
  EXPECT_GE(compressor->maxFrameSize(input, output), 22u + 128u * 4u);
  EXPECT_LE(compressor->maxFrameSize(inputFormat(64, 32), output), 0x10005u);
  EXPECT_LE(compressor->defaultQuality(), 10000u);
  CompressFramesInfo info{&output, &input, 10, 7500, 122880, 30000, 1000};
  EXPECT_EQ(compressor->framesInfo(info), kIcErrOk);
  // Compressing before begin is refused.
  std::vector<std::uint8_t> buffer(compressor->maxFrameSize(input, output));
  const Frame frame(64 * 32 * 3, 128);
  CompressParams p;
  p.lpbiOutput = &output;
  p.lpOutput = buffer.data();
  p.lpbiInput = &input;
  p.lpInput = frame.data();
  EXPECT_NE(compressor->compress(p), kIcErrOk);
  ASSERT_EQ(compressor->begin(input, output), kIcErrOk);
  p.lpInput = nullptr;
  EXPECT_EQ(compressor->compress(p), kIcErrBadParam);
  p.lpInput = frame.data();
  std::uint32_t flags = 0;
  p.lpdwFlags = &flags;
  ASSERT_EQ(compressor->compress(p), kIcErrOk);
  EXPECT_EQ(flags, kAviKeyFrame);
  EXPECT_EQ(output.biSizeImage, static_cast<std::uint32_t>(buffer[1] << 16 | buffer[2] << 8 | buffer[3]));
  p.lFrameNum = 1;
  ASSERT_EQ(compressor->compress(p), kIcErrOk);
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(compressor->end(), kIcErrOk);
}

TEST(CinepakCompressor, StateRoundTrips) {
  auto compressor = locateCinepakCompressor(inputFormat(16, 16));
  ASSERT_NE(compressor, nullptr);
  const std::uint32_t size = compressor->getState({});
  ASSERT_GT(size, 0u);
  std::vector<std::uint8_t> state(size);
  ASSERT_EQ(compressor->getState(state), size);
  EXPECT_EQ(compressor->setState(state), kIcErrOk);
  std::vector<std::uint8_t> changed = state;
  changed[4] = 3;
  ASSERT_EQ(compressor->setState(changed), kIcErrOk);
  std::vector<std::uint8_t> again(size);
  ASSERT_EQ(compressor->getState(again), size);
  EXPECT_EQ(again, changed);
  std::vector<std::uint8_t> garbage(size, 0xAB);
  EXPECT_NE(compressor->setState(garbage), kIcErrOk);
  EXPECT_NE(compressor->setState(std::span(state).first(size - 1)), kIcErrOk);
  std::vector<std::uint8_t> small(size - 1);
  EXPECT_EQ(compressor->getState(small), 0u);
}

// The state block carries the price memory (a little-endian float behind the
// effort), so that a session can go on at the price another one left;
// frames held at the floor between them halve it every 16 frames, down to
// the quality's floor.
TEST(CinepakCompressor, TheStateCarriesThePriceMemoryOverCalmFrames) {
  auto compressor = locateCinepakCompressor(inputFormat(16, 16));
  ASSERT_NE(compressor, nullptr);
  std::vector<std::uint8_t> state(compressor->getState({}));
  ASSERT_EQ(compressor->getState(state), state.size());
  ASSERT_EQ(state.size(), 12u);
  auto price = [](const std::vector<std::uint8_t>& s) {
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(s[8 + i]) << (8 * i);
    return std::bit_cast<float>(bits);
  };
  EXPECT_EQ(price(state), 0.0f);  // a fresh compressor remembers none
  const float floor = lambdaForQuality(kDefaultQuality);
  const std::uint32_t remembered = std::bit_cast<std::uint32_t>(64 * floor);
  for (int i = 0; i < 4; ++i) state[8 + i] = static_cast<std::uint8_t>(remembered >> (8 * i));
  ASSERT_EQ(compressor->setState(state), kIcErrOk);
  std::vector<std::uint8_t> again(state.size());
  ASSERT_EQ(compressor->getState(again), state.size());
  EXPECT_EQ(price(again), 64 * floor);

  struct Step { std::uint32_t frames; float expected; };
  for (const Step& step : {Step{0, 64 * floor}, Step{16, 32 * floor}, Step{32, 8 * floor}, Step{1000, floor}}) {
    ASSERT_TRUE(passFramesAtFloor(again, step.frames));
    EXPECT_NEAR(price(again), step.expected, 1e-3 * step.expected) << "after " << step.frames << " more frames";
  }
  std::vector<std::uint8_t> none = state;
  std::fill(none.begin() + 8, none.end(), 0);
  ASSERT_TRUE(passFramesAtFloor(none, 16));
  EXPECT_EQ(price(none), 0.0f);  // nothing remembered, nothing learnt
  std::vector<std::uint8_t> garbage(state.size(), 0xAB);
  EXPECT_FALSE(passFramesAtFloor(garbage, 16));
  EXPECT_EQ(garbage, std::vector<std::uint8_t>(state.size(), 0xAB));
}

TEST(CinepakCompressor, FramesHaveTheSingleStripLayout) {
  const auto clip = test::makeClip(Clip::kShapes, 96, 64, 4);
  const auto frames = compressClip(clip, 96, 64, 3000);
  ASSERT_EQ(frames.size(), clip.size());
  for (std::size_t n = 0; n < frames.size(); ++n) {
    const Frame& f = frames[n];
    ASSERT_GE(f.size(), 22u);
    EXPECT_EQ(static_cast<std::size_t>(f[1] << 16 | big16(f, 2)), f.size());
    EXPECT_EQ(big16(f, 4), 96u);
    EXPECT_EQ(big16(f, 6), 64u);
    EXPECT_EQ(big16(f, 8), 1u);
    EXPECT_EQ(big16(f, 10), n == 0 ? 0x1000u : 0x1100u);
    EXPECT_EQ(big16(f, 12), f.size() - 10);
    EXPECT_EQ(big16(f, 14), 0u);
    EXPECT_EQ(big16(f, 16), 0u);
    EXPECT_EQ(big16(f, 18), 64u);
    EXPECT_EQ(big16(f, 20), 96u);
  }
  const std::vector<int> first = chunkTypes(frames[0]);
  EXPECT_EQ(std::set<int>(first.begin(), first.end()).count(0x20), 1u);
  EXPECT_EQ(std::set<int>(first.begin(), first.end()).count(0x22), 1u);
}

TEST(CinepakCompressor, GreyFramesUseGreyChunks) {
  const auto clip = test::makeClip(Clip::kGrey, 64, 48, 4);
  const auto frames = compressClip(clip, 64, 48, 2500);
  std::set<int> types;
  for (const Frame& f : frames)
    for (int t : chunkTypes(f)) types.insert(t);
  EXPECT_TRUE(types.count(0x24) && types.count(0x26));
  for (int colour : {0x20, 0x21, 0x22, 0x23}) EXPECT_EQ(types.count(colour), 0u) << colour;
  EXPECT_GT(decodeAndMeasure(clip, frames, 64, 48).psnr, 28.0);
}

TEST(CinepakCompressor, IsDeterministic) {
  const auto clip = test::makeClip(Clip::kShapes, 64, 48, 3);
  EXPECT_EQ(compressClip(clip, 64, 48, 2000), compressClip(clip, 64, 48, 2000));
}

// Only the frame right after the last one compressed may refer to it; any
// other number starts afresh with a key frame that decodes on its own.
TEST(CinepakCompressor, AFrameOutOfSequenceIsCodedIntra) {
  const auto clip = test::makeClip(Clip::kShapes, 64, 48, 4);
  struct Case { const char* what; int third; bool intra; };
  for (const Case c : {Case{"frame 2 follows 1", 2, false}, Case{"frame 3 skips one", 3, true},
                       Case{"frame 1 again", 1, true}}) {
    test::CompressorSession session(64, 48);
    session.compress(clip[0], 0, nullptr, 2000);
    session.compress(clip[1], 1, &clip[0], 2000);
    std::uint32_t keyFlag = 0xDEAD;
    const Frame f = session.compress(clip[2], c.third, &clip[1], 2000, kDefaultQuality, &keyFlag);
    ASSERT_GE(f.size(), 22u) << c.what;
    EXPECT_EQ(f[0], c.intra ? 0x00 : 0x01) << c.what;
    EXPECT_EQ(big16(f, 10), c.intra ? 0x1000u : 0x1100u) << c.what;
    EXPECT_EQ(keyFlag, c.intra ? kAviKeyFrame : 0u) << c.what;
    if (c.intra) {
      ReferenceDecoder fresh(64, 48);
      EXPECT_TRUE(fresh.decodeFrame(f)) << c.what;
      EXPECT_GT(decodeAndMeasure({clip[2]}, {f}, 64, 48).psnr, 25.0) << c.what;
    }
  }
}

TEST(CinepakCompressor, StaticSceneCostsOnlyAFewBytes) {
  const auto clip = test::makeClip(Clip::kStatic, 240, 160, 6);
  const auto frames = compressClip(clip, 240, 160, 8000);
  for (std::size_t n = 3; n < frames.size(); ++n) EXPECT_LE(frames[n].size(), 64u) << "frame " << n;
}

// Inter frames always fit (the empty frame is 22 bytes); an intra frame fits
// unless even one V1 entry and one index per block exceed the budget.
TEST(CinepakCompressor, HonoursTheSizeTarget) {
  constexpr int kWidth = 240, kHeight = 160, kBlocks = kWidth * kHeight / 16;
  const auto clip = test::makeClip(Clip::kShapes, kWidth, kHeight, 5);
  const auto noise = test::makeClip(Clip::kNoise, kWidth, kHeight, 3);
  // More bytes buy quality until the quality floor stops spending them. A
  // first frame that cannot fit takes half again its cheapest form, so the
  // smaller budgets differ in their later frames only.
  double lastPsnr = 0;
  for (std::uint32_t budget : {100u, 1500u, 3000u, 6000u, 12000u, 40000u}) {
    for (const auto* source : {&clip, &noise}) {
      const auto frames = compressClip(*source, kWidth, kHeight, budget);
      const std::size_t cheapestIntra = 22 + 4 + 6 + 4 + kBlocks;
      EXPECT_LE(frames[0].size(), std::max<std::size_t>(budget, cheapestIntra * 3 / 2)) << budget;
      for (std::size_t n = 1; n < frames.size(); ++n) EXPECT_LE(frames[n].size(), std::max(budget, 22u)) << budget;
      if (source == &clip) {
        const double psnr = decodeAndMeasure(clip, frames, kWidth, kHeight).psnr;
        EXPECT_GE(psnr, budget <= 6000 ? lastPsnr + 0.25 : lastPsnr - 0.2) << "budget " << budget;
        lastPsnr = psnr;
      }
    }
  }
}

// Bytes go where they buy the most: a still picture after motion is not
// refined at a price far below the motion's, so its frames leave much of their
// share to later frames; a frame starved by an earlier overshoot pays for the
// pacing, not the picture, and does not hold back the frames after it.
TEST(CinepakCompressor, AFrameDoesNotBuyPictureFarBelowTheRecentPrice) {
  constexpr std::uint32_t kShare = 3000;
  const auto noise = test::makeClip(Clip::kNoise, 240, 160, 8);
  struct Case {
    const char* what;
    std::vector<std::uint32_t> budgets;  // one a frame; noise, then its last frame held still
    std::size_t stillFrom;
    std::uint32_t firstChecked;
    std::size_t most, least;  // bytes of the checked frames, all together
  };
  const Case cases[] = {
      {"still after motion", {kShare, kShare, kShare, kShare, kShare, kShare, kShare, kShare, kShare, kShare},
       6, 6, 4 * kShare * 6 / 10, 0},
      {"after a starved frame", {kShare, 200, kShare, kShare, kShare, kShare}, 6, 2, 4 * kShare,
       4 * kShare * 9 / 10},
  };
  for (const Case& c : cases) {
    test::CompressorSession session(240, 160);
    session.tellByteRate(kShare);
    std::size_t checked = 0;
    for (std::size_t n = 0; n < c.budgets.size(); ++n) {
      const auto& frame = noise[std::min(n, c.stillFrom - 1)];
      const auto& previous = noise[std::min(n == 0 ? 0 : n - 1, c.stillFrom - 1)];
      const Frame f = session.compress(frame, static_cast<int>(n), n > 0 ? &previous : nullptr, c.budgets[n]);
      ASSERT_LE(f.size(), std::max<std::size_t>(c.budgets[n], FrameEncoder::minFrameSize(240, 160, n == 0)));
      if (n >= c.firstChecked) checked += f.size();
    }
    EXPECT_LE(checked, c.most) << c.what;
    EXPECT_GE(checked, c.least) << c.what;
  }
}

// However starved, the first frame shows the picture rather than one colour.
TEST(CinepakCompressor, AStarvedFirstFrameStillShowsThePicture) {
  for (Clip kind : {Clip::kShapes, Clip::kGradient}) {
    const auto clip = test::makeClip(kind, 240, 160, 1);
    const auto frames = compressClip(clip, 240, 160, 100);
    ReferenceDecoder decoder(240, 160);
    ASSERT_TRUE(decoder.decodeFrame(frames[0]));
    const auto picture = decoder.picture();
    std::vector<ConsolePixel> colours(picture.begin(), picture.end());
    std::sort(colours.begin(), colours.end());
    const auto distinct = std::unique(colours.begin(), colours.end()) - colours.begin();
    EXPECT_GE(distinct, 16) << test::clipName(kind);
  }
}

TEST(CinepakCompressor, WorstCaseFrameStaysWithinTheLimit) {
  const auto noise = test::makeClip(Clip::kNoise, 240, 160, 2);
  const auto frames = compressClip(noise, 240, 160, 0xFFFFFFFFu, 10000);
  for (const Frame& f : frames) EXPECT_LE(f.size(), 0x10005u);
}

// FFmpeg's decoder must read every frame we write; its green is one higher
// where a codebook entry has an odd positive U (it halves U by truncation),
// so green may differ by one step and red and blue must agree exactly.
TEST(CinepakCompressor, FfmpegDecodesOurFramesAsWeDo) {
  for (Clip kind : {Clip::kShapes, Clip::kGradient, Clip::kGrey, Clip::kStatic}) {
    const auto clip = test::makeClip(kind, 96, 64, 6);
    const auto frames = compressClip(clip, 96, 64, 2500);
    ReferenceDecoder ours(96, 64);
    test::FfmpegCinepakDecoder theirs(96, 64);
    long greenOneUp = 0, pixels = 0;
    for (std::size_t n = 0; n < frames.size(); ++n) {
      ASSERT_TRUE(ours.decodeFrame(frames[n]));
      ASSERT_TRUE(theirs.decode(frames[n])) << test::clipName(kind) << " frame " << n;
      for (int i = 0; i < 96 * 64; ++i, ++pixels) {
        const auto& p = theirs.picture()[i];
        const int r = ours.picture()[i] & 31, g = ours.picture()[i] >> 5 & 31, b = ours.picture()[i] >> 10 & 31;
        ASSERT_EQ(p.red >> 3, r) << i;
        ASSERT_EQ(p.blue >> 3, b) << i;
        const int dg = (p.green >> 3) - g;
        ASSERT_TRUE(dg == 0 || dg == 1) << i;
        greenOneUp += dg;
      }
    }
    if (kind == Clip::kGrey) {
      EXPECT_EQ(greenOneUp, 0);
    }
    EXPECT_LT(greenOneUp, pixels / 4) << test::clipName(kind);
  }
}

// Golden floors: size and PSNR per clip at 240 x 160 and a 3000-byte target.
TEST(CinepakCompressor, QualityFloorsOnSyntheticClips) {
  struct Case { Clip clip; double minPsnr; };
  for (const Case c : {Case{Clip::kGradient, 27.0}, Case{Clip::kShapes, 33.0}, Case{Clip::kNoise, 10.5},
                       Case{Clip::kGrey, 31.5}}) {
    const auto clip = test::makeClip(c.clip, 240, 160, 8);
    const auto frames = compressClip(clip, 240, 160, 3000);
    const ClipResult r = decodeAndMeasure(clip, frames, 240, 160);
    std::printf("%-9s %7zu bytes  %.2f dB\n", test::clipName(c.clip), r.bytes, r.psnr);
    EXPECT_GE(r.psnr, c.minPsnr) << test::clipName(c.clip);
    EXPECT_LE(r.bytes, 3000u * frames.size() + 2500u) << test::clipName(c.clip);
  }
}

}  // namespace
}  // namespace zepra
