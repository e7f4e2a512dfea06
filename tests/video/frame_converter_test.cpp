// Frame conversion: the brightness table, both resampling paths, the four
// pre-filters, and byte equality with the literal reference conversion.

#include <gtest/gtest.h>

#include <random>

#include "tests/video/reference_conversion.h"
#include "video/frame_converter.h"

namespace zepra {
namespace {

std::vector<std::uint8_t> flatFrame(int width, int height, std::uint8_t value) {
  return std::vector<std::uint8_t>(sourceRowBytes(width) * height, value);
}

ConversionSetup setupFor(int sw, int sh, int w, int h, int filter, float gamma = 1.0f,
                         TrimWindow trim = {}) {
  return {sw, sh, trim, w, h, filter, gamma};
}

const std::uint8_t* pixel(const FrameConverter& converter, int width, int x, int y) {
  return converter.frame() + (static_cast<std::size_t>(y) * width + x) * 3;
}

TEST(BrightnessTableTest, KnownEntries) {
  const auto brighter = buildBrightnessTable(1.33f);
  EXPECT_EQ(brighter[128], 151);
  EXPECT_EQ(brighter[6], 15);
  EXPECT_EQ(brighter[4], 11);
  EXPECT_EQ(brighter[2], 6);
  for (float gamma : {0.01f, 0.5f, 1.0f, 1.33f, 7.99f}) {
    const auto table = buildBrightnessTable(gamma);
    EXPECT_EQ(table[0], 0) << gamma;
    EXPECT_EQ(table[255], 255) << gamma;
    EXPECT_TRUE(std::is_sorted(table.begin(), table.end())) << gamma;
  }
  // Truncation: at gamma 1 an entry is its index or, where the product lands
  // just below an integer, one lower.
  const auto identity = buildBrightnessTable(1.0f);
  for (int i = 0; i < 256; ++i) EXPECT_TRUE(identity[i] == i || identity[i] == i - 1) << i;
  EXPECT_LT(buildBrightnessTable(0.5f)[128], 128);
}

struct DitherCase {
  int filter;
  std::uint8_t value;
  std::uint8_t expected[4];  // at (even, even), (odd, even), (even, odd), (odd, odd)
};

class BilinearDitherTest : public ::testing::TestWithParam<DitherCase> {};

TEST_P(BilinearDitherTest, FlatPicturesGiveThePattern) {
  const DitherCase& c = GetParam();
  FrameConverter converter;
  converter.configure(setupFor(176, 144, 196, 160, c.filter, 1.33f));  // enlarged: no table
  ASSERT_FALSE(converter.averagesArea());
  converter.convert(flatFrame(176, 144, c.value).data());
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      const std::uint8_t* p = pixel(converter, 196, x + 10, y + 20);
      const std::uint8_t expected = c.expected[(x & 1) | (y & 1) << 1];
      EXPECT_EQ(p[0], expected) << x << "," << y;
      EXPECT_EQ(p[1], expected);
      EXPECT_EQ(p[2], expected);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Filters, BilinearDitherTest,
    ::testing::Values(DitherCase{kNoFilter, 100, {100, 100, 100, 100}},
                      DitherCase{k15BitFilter, 100, {96, 96, 96, 96}},
                      DitherCase{k2xDithering, 100, {96, 104, 104, 96}},
                      DitherCase{k4xDithering, 100, {96, 104, 104, 96}},
                      DitherCase{k15BitFilter, 255, {248, 248, 248, 248}},
                      DitherCase{k2xDithering, 255, {248, 248, 248, 248}},
                      DitherCase{k4xDithering, 255, {248, 248, 248, 248}},
                      DitherCase{kNoFilter, 255, {255, 255, 255, 255}},
                      DitherCase{k4xDithering, 0, {0, 0, 0, 0}}),
    [](const auto& info) {
      return "filter" + std::to_string(info.param.filter) + "_value" + std::to_string(info.param.value);
    });

TEST(AreaPathTest, TheAddendComesBeforeTheBrightnessTable) {
  FrameConverter converter;
  converter.configure(setupFor(320, 240, 240, 160, k4xDithering, 1.33f));
  ASSERT_TRUE(converter.averagesArea());
  converter.convert(flatFrame(320, 240, 0).data());
  EXPECT_EQ(pixel(converter, 240, 0, 0)[0], 0);
  EXPECT_EQ(pixel(converter, 240, 1, 0)[0], 8);  // T[6] = 15
  EXPECT_EQ(pixel(converter, 240, 0, 1)[0], 8);  // T[4] = 11
  EXPECT_EQ(pixel(converter, 240, 1, 1)[0], 0);  // T[2] = 6
}

TEST(AreaPathTest, SameSizeMapsEachByteThroughTheTable) {
  std::vector<std::uint8_t> source(sourceRowBytes(240) * 160);
  for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint8_t>(i * 7);
  for (int filter : {kNoFilter, k15BitFilter, k4xDithering}) {
    FrameConverter converter;
    converter.configure(setupFor(240, 160, 240, 160, filter, 1.33f));
    converter.convert(source.data());
    const auto table = buildBrightnessTable(1.33f);
    const std::uint8_t mask = filter == kNoFilter ? 0xFF : 0xF8;
    for (std::size_t i = 0; i < converter.frameBytes(); i += 997) {
      // An added 6.5 or 4.5 moves the byte unless the filter adds only 0.5.
      if (filter == k4xDithering) continue;
      EXPECT_EQ(converter.frame()[i], table[source[i]] & mask) << i;
    }
  }
}

TEST(AreaPathTest, BoxesWeighTheCoveredFractions) {
  // A 320 x 212 window to 240 x 160: pixel (0, 0) covers columns 0 and 1 with
  // weights 1 and 1/3, rows 0 and 1 with weights 1 and 0.325.
  const int trim = 14;
  std::vector<std::uint8_t> source(sourceRowBytes(320) * 240, 0);
  const std::size_t stride = sourceRowBytes(320);
  for (int r = 0; r < 240; ++r) source[r * stride + 3 * 1] = 255;       // blue of column 1
  for (int c = 0; c < 320; ++c) source[(trim + 1) * stride + 3 * c + 1] = 200;  // green of row 1
  FrameConverter converter;
  converter.configure(setupFor(320, 240, 240, 160, kNoFilter, 1.0f, {0, trim, 0, trim}));
  converter.convert(source.data());
  const auto table = buildBrightnessTable(1.0f);
  EXPECT_EQ(pixel(converter, 240, 0, 0)[0], table[static_cast<int>(255.0 / 3 / (4.0 / 3) + 0.5)]);
  EXPECT_EQ(pixel(converter, 240, 0, 0)[1], table[static_cast<int>(200 * 0.325 / 1.325 + 0.5)]);
}

TEST(BilinearPathTest, CornersSitOnTheWindowsCorners) {
  std::vector<std::uint8_t> source(sourceRowBytes(176) * 144);
  std::mt19937 random(4);
  for (auto& b : source) b = static_cast<std::uint8_t>(random());
  FrameConverter converter;
  converter.configure(setupFor(176, 144, 196, 160, kNoFilter));
  converter.convert(source.data());
  const std::uint8_t* last = source.data() + 143 * sourceRowBytes(176) + 175 * 3;
  EXPECT_EQ(std::vector<std::uint8_t>(last, last + 3),
            std::vector<std::uint8_t>(pixel(converter, 196, 195, 159), pixel(converter, 196, 195, 159) + 3));
  EXPECT_EQ(std::vector<std::uint8_t>(source.data(), source.data() + 3),
            std::vector<std::uint8_t>(converter.frame(), converter.frame() + 3));
}

TEST(BilinearPathTest, BrightnessIsNotApplied) {
  FrameConverter converter;
  converter.configure(setupFor(176, 144, 196, 160, kNoFilter, 1.33f));
  converter.convert(flatFrame(176, 144, 128).data());
  EXPECT_EQ(converter.frame()[0], 128);
}

struct MatchCase {
  int sw, sh, w, h;
  TrimWindow trim;
};

const MatchCase kMatchCases[] = {
    {1280, 720, 240, 136, {}},           {640, 480, 212, 160, {}},
    {320, 240, 240, 160, {0, 14, 0, 14}}, {1280, 720, 240, 160, {100, 0, 100, 0}},
    {176, 144, 196, 160, {}},            {200, 300, 240, 160, {}},  // grows across, shrinks down
    {321, 241, 120, 80, {3, 5, 7, 11}},  {33, 17, 32, 16, {1, 1, 0, 0}},
    {7, 5, 240, 160, {}},                {240, 1, 8, 4, {}},
    // Automatic trimming of 720 x 480 at 16:9 and of 352 x 288.
    {720, 480, 240, 160, {56, 0, 56, 0}}, {352, 288, 240, 160, {0, 26, 0, 26}},
};

TEST(ConversionMatchTest, FastConversionGivesTheReferenceBytes) {
  std::mt19937 random(11);
  for (const MatchCase& c : kMatchCases) {
    std::vector<std::uint8_t> source(sourceRowBytes(c.sw) * c.sh);
    for (auto& b : source) b = static_cast<std::uint8_t>(random());
    for (int filter = 0; filter < 4; ++filter) {
      for (float gamma : {1.0f, 1.33f, 0.37f}) {
        const ConversionSetup setup{c.sw, c.sh, c.trim, c.w, c.h, filter, gamma};
        const auto expected = test::referenceConvert(setup, source.data());
        for (bool wide : {false, true}) {
          FrameConverter converter;
          converter.useWideInstructions(wide);
          converter.configure(setup);
          ASSERT_EQ(converter.sourceFrameBytes(), source.size());
          converter.convert(source.data());
          ASSERT_EQ(std::vector<std::uint8_t>(converter.frame(), converter.frame() + converter.frameBytes()),
                    expected)
              << c.sw << "x" << c.sh << " to " << c.w << "x" << c.h << " filter " << filter
              << " gamma " << gamma << (wide ? " with AVX2" : "");
        }
      }
    }
  }
}

}  // namespace
}  // namespace zepra
