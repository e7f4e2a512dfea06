// Source frame rates, the reduction modes and the figures derived from them,
// as the encoder takes them from a decoded format.

#include <gtest/gtest.h>

#include "encoder/stream_encoder.h"
#include "tests/encoder/case_name.h"
#include "video/frame_rate.h"

namespace zepra {
namespace {

struct RateCase {
  const char* what;
  std::int64_t frameDuration;  // 0: the container's rate below
  std::uint32_t containerRate;
  std::uint32_t containerScale;
  int mode;
  int bitrate;
  std::uint32_t sourceRate;
  std::uint32_t sourceScale;
  int resolvedMode;
  std::uint32_t divisor;
  std::uint32_t rate;
  std::uint32_t scale;
  std::uint32_t frameByteTarget;
  std::uint32_t playbackStep;
};

const RateCase kRateCases[] = {
    {"29.97 kept whole", 333667, 0, 0, 0, 120, 29970, 1000, 0, 0, 29970, 1000, 4100, 32884},
    {"29.97 halved", 333667, 0, 0, 3, 120, 29970, 1000, 3, 0, 29970, 2000, 8200, 16442},
    {"24 frames/s, its duration rounded", 416667, 0, 0, 0, 120, 23999, 1000, 0, 0, 23999, 1000, 5120, 26333},
    {"30 frames/s", 333333, 0, 0, 0, 120, 30000, 1000, 0, 0, 30000, 1000, 4096, 32917},
    {"500 KB/s at 1/5 of 29.97", 333667, 0, 0, 7, 500, 29970, 1000, -1, 5, 29970, 5000, 85418, 6576},
    {"1/4 keeps mode -1 with N = 4", 333667, 0, 0, 6, 120, 29970, 1000, -1, 4, 29970, 4000, 16400, 8221},
    {"4/5", 333333, 0, 0, 1, 120, 30000, 1000, 1, 0, 120000, 5000, 5120, 26334},
    {"2/3", 333333, 0, 0, 2, 120, 30000, 1000, 2, 0, 60000, 3000, 6144, 21945},
    {"2/5", 333333, 0, 0, 4, 120, 30000, 1000, 4, 0, 60000, 5000, 10240, 13167},
    {"1/3", 333333, 0, 0, 5, 120, 30000, 1000, 5, 0, 30000, 3000, 12288, 10972},
    {"container rate 25/1", 0, 25, 1, 0, 120, 25, 1, 0, 0, 25, 1, 4915, 27431},
    {"auto at 15 frames/s keeps all", 666667, 0, 0, -1, 120, 14999, 1000, 0, 0, 14999, 1000, 8192, 16457},
    {"auto at 16 frames/s: N = 1", 625000, 0, 0, -1, 120, 16000, 1000, -1, 1, 16000, 1000, 7680, 17556},
    {"auto at 18.75 frames/s: N = 2", 533333, 0, 0, -1, 120, 18750, 1000, -1, 2, 18750, 2000, 13107, 10286},
    {"auto at 25 frames/s: N = 2", 400000, 0, 0, -1, 120, 25000, 1000, -1, 2, 25000, 2000, 9830, 13715},
    {"auto at 50 frames/s: N = 4", 200000, 0, 0, -1, 120, 50000, 1000, -1, 4, 50000, 4000, 9830, 13715},
    {"auto at 59.94 frames/s: N = 4", 166833, 0, 0, -1, 120, 59940, 1000, -1, 4, 59940, 4000, 8200, 16442},
    {"the frame duration wins over the container", 400000, 30, 1, 0, 120, 25000, 1000, 0, 0, 25000, 1000, 4915, 27431},
};

class RateTest : public ::testing::TestWithParam<RateCase> {};

TEST_P(RateTest, FormatGivesRatesAndFigures) {
  const RateCase& c = GetParam();
  StreamEncoder encoder(nullptr);
  const int trim[4] = {};
  ASSERT_TRUE(encoder.setOptions(trim, false, -1, -1, c.mode, 0, c.bitrate, 1.0f));
  encoder.setContainerFrameRate(c.containerRate, c.containerScale);
  VideoInfoHeader format;
  format.AvgTimePerFrame = c.frameDuration;
  format.bmiHeader.biWidth = 320;
  format.bmiHeader.biHeight = 240;
  ASSERT_TRUE(encoder.acceptVideoFormat(format)) << c.what;
  EXPECT_EQ(encoder.sourceRate(), c.sourceRate) << c.what;
  EXPECT_EQ(encoder.sourceScale(), c.sourceScale) << c.what;
  EXPECT_EQ(encoder.frameSelection().mode, c.resolvedMode) << c.what;
  if (c.resolvedMode == -1) {
    EXPECT_EQ(encoder.frameSelection().frameDivisor, c.divisor) << c.what;
  }
  EXPECT_EQ(encoder.outputRate().rate, c.rate) << c.what;
  EXPECT_EQ(encoder.outputRate().scale, c.scale) << c.what;
  EXPECT_EQ(encoder.frameByteTarget(), c.frameByteTarget) << c.what;
  EXPECT_EQ(encoder.playbackStep(), c.playbackStep) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Rates, RateTest, ::testing::ValuesIn(kRateCases), test::ByDescription());

struct FormatRefusal {
  const char* what;
  std::uint16_t planes;
  std::uint16_t bits;
  std::uint32_t compression;
  std::int64_t frameDuration;
  int height;
};

const FormatRefusal kRefusals[] = {
    {"two planes", 2, 24, kBiRgb, 400000, 240},
    {"32 bits", 1, 32, kBiRgb, 400000, 240},
    {"compressed", 1, 24, kFourccCvid, 400000, 240},
    {"no frame rate at all", 1, 24, kBiRgb, 0, 240},
    {"negative duration and no container rate", 1, 24, kBiRgb, -400000, 240},
    {"a duration too long for a rate", 1, 24, kBiRgb, 20'000'000'000LL, 240},
    {"top-down", 1, 24, kBiRgb, 400000, -240},
};

class FormatRefusalTest : public ::testing::TestWithParam<FormatRefusal> {};

TEST_P(FormatRefusalTest, UnusableFormatsAreRefused) {
  const FormatRefusal& c = GetParam();
  StreamEncoder encoder(nullptr);
  const int trim[4] = {};
  ASSERT_TRUE(encoder.setOptions(trim, false, -1, -1, 0, 0, 120, 1.0f));
  VideoInfoHeader format;
  format.AvgTimePerFrame = c.frameDuration;
  format.bmiHeader.biWidth = 320;
  format.bmiHeader.biHeight = c.height;
  format.bmiHeader.biPlanes = c.planes;
  format.bmiHeader.biBitCount = c.bits;
  format.bmiHeader.biCompression = c.compression;
  EXPECT_FALSE(encoder.acceptVideoFormat(format)) << c.what;
  EXPECT_FALSE(encoder.openStream(10)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Formats, FormatRefusalTest, ::testing::ValuesIn(kRefusals), test::ByDescription());

// Refusals that the user can act on say why; the general format error covers
// the rest, and for trims that leave nothing it already names the settings.
TEST(FormatRefusalTest, RefusalsTheUserCanActOnSayWhy) {
  struct Case {
    const char* what;
    int width, height;
    std::int64_t frameDuration;
    int trimLeft;
    int mode;
    bool accepted;
    const char* reason;  // part of formatRefusal(); "" for none
  } cases[] = {
      {"a frame every microsecond", 320, 240, 10, 0, 0, false, "1000000 frames per second is more"},
      {"just under a million frames per second", 320, 240, 11, 0, 0, true, ""},
      {"a frame every 1000 s", 320, 240, 10'000'000'000LL, 0, 0, true, ""},
      {"one of five of those", 320, 240, 10'000'000'000LL, 0, 7, false, "0.0002 frames per second is less"},
      {"too thin for an automatic width", 1, 1000, 400000, 0, 0, false, "too thin"},
      {"too flat for an automatic height", 1000, 1, 400000, 0, 0, false, "too thin"},
      {"trims that leave no column", 320, 240, 400000, 320, 0, false, ""},
  };
  for (const Case& c : cases) {
    StreamEncoder encoder(nullptr);
    const int trim[4] = {c.trimLeft, 0, 0, 0};
    ASSERT_TRUE(encoder.setOptions(trim, false, -1, -1, c.mode, 0, 120, 1.0f));
    VideoInfoHeader format;
    format.AvgTimePerFrame = c.frameDuration;
    format.bmiHeader.biWidth = c.width;
    format.bmiHeader.biHeight = c.height;
    EXPECT_EQ(encoder.acceptVideoFormat(format), c.accepted) << c.what;
    if (*c.reason == '\0') {
      EXPECT_EQ(encoder.formatRefusal(), "") << c.what;
    } else {
      EXPECT_NE(encoder.formatRefusal().find(c.reason), std::string::npos)
          << c.what << ": " << encoder.formatRefusal();
    }
  }
}

TEST(PictureAspectTest, OnlyCompleteAspectsAreStoredAndTheLastWins) {
  StreamEncoder encoder(nullptr);
  VideoInfoHeader2 aspect;
  aspect.dwPictAspectRatioX = 16;
  EXPECT_FALSE(encoder.setPictureAspect(aspect));
  aspect.dwPictAspectRatioY = 9;
  EXPECT_TRUE(encoder.setPictureAspect(aspect));
  aspect = {4, 3};
  EXPECT_TRUE(encoder.setPictureAspect(aspect));
  aspect = {0, 0};
  EXPECT_FALSE(encoder.setPictureAspect(aspect));
  const int trim[4] = {};
  ASSERT_TRUE(encoder.setOptions(trim, false, -1, -1, 0, 0, 120, 1.0f));
  VideoInfoHeader format;
  format.AvgTimePerFrame = 400000;
  format.bmiHeader.biWidth = 720;
  format.bmiHeader.biHeight = 480;
  ASSERT_TRUE(encoder.acceptVideoFormat(format));
  EXPECT_EQ(encoder.outputWidth(), 212);  // 4:3
  EXPECT_EQ(encoder.outputHeight(), 160);
}

TEST(FrameSelectionTest, SlotsKeptAndCountsAgree) {
  // The kept count is exactly the kept slots, a last partial period included
  // (1125 frames halved are 563): an estimate one frame short can fall below
  // the image it promises to bound. The truncated count the compressor is
  // told agrees with it over whole periods.
  for (int mode = -1; mode <= 5; ++mode) {
    const FrameSelection selection{mode, mode == -1 ? 3u : 0u};
    std::uint32_t kept = 0;
    for (std::uint32_t n = 1; n <= 61; ++n) {
      kept += isSlotKept(selection, n) ? 1 : 0;
      EXPECT_EQ(kept, keptFrameCount(selection, n)) << "mode " << mode << ", " << n << " frames";
    }
    EXPECT_EQ(keptFrameCount(selection, 60), reducedFrameCount(selection, 60)) << "mode " << mode;
  }
  EXPECT_EQ(keptFrameCount({3, 0}, 1125), 563u);
  EXPECT_EQ(reducedFrameCount({3, 0}, 1125), 562u);
}

}  // namespace
}  // namespace zepra
