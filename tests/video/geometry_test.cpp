// Trimming and sizing: automatic size, automatic trimming, the pixel aspect
// and the window kept inside the frame.

#include <gtest/gtest.h>

#include "tests/encoder/case_name.h"
#include "video/geometry.h"

namespace zepra {
namespace {

struct GeometryCase {
  const char* what;
  int width;
  int height;
  std::uint32_t aspectX;
  std::uint32_t aspectY;
  bool autoTrim;
  TrimWindow trim;
  TrimWindow expectedTrim;
  int expectedWidth;
  int expectedHeight;
  int requestedWidth = -1;  // -1 and -1: automatic
  int requestedHeight = -1;
};

const GeometryCase kGeometryCases[] = {
    {"320x240 automatic size", 320, 240, 0, 0, false, {}, {}, 212, 160},
    {"640x480 automatic size", 640, 480, 0, 0, false, {}, {}, 212, 160},
    {"160x120 automatic size", 160, 120, 0, 0, false, {}, {}, 212, 160},
    {"352x288 automatic size", 352, 288, 0, 0, false, {}, {}, 196, 160},
    {"176x144 automatic size", 176, 144, 0, 0, false, {}, {}, 196, 160},
    {"1280x720 automatic size", 1280, 720, 0, 0, false, {}, {}, 240, 136},
    {"240x160 automatic size", 240, 160, 0, 0, false, {}, {}, 240, 160},
    {"720x480 at 4:3", 720, 480, 4, 3, false, {}, {}, 212, 160},
    {"720x480 at 16:9", 720, 480, 16, 9, false, {}, {}, 240, 136},
    {"aspect equal to the frame leaves PAR 1", 720, 480, 720, 480, false, {}, {}, 240, 160},
    {"aspect with a zero member is ignored", 720, 480, 16, 0, false, {}, {}, 240, 160},
    {"320x240 trimmed", 320, 240, 0, 0, true, {}, {0, 14, 0, 14}, 240, 160},
    {"640x480 trimmed", 640, 480, 0, 0, true, {}, {0, 26, 0, 26}, 240, 160},
    {"352x288 trimmed", 352, 288, 0, 0, true, {}, {0, 26, 0, 26}, 240, 160},
    {"1280x720 trimmed", 1280, 720, 0, 0, true, {}, {100, 0, 100, 0}, 240, 160},
    {"720x480 at 16:9 trimmed", 720, 480, 16, 9, true, {}, {56, 0, 56, 0}, 240, 160},
    {"240x160 trimmed", 240, 160, 0, 0, true, {}, {}, 240, 160},
    {"270x180: the rounded window stays inside", 270, 180, 0, 0, true, {}, {}, 240, 160},
    {"odd pixel goes to the top", 320, 241, 0, 0, true, {}, {0, 14, 0, 15}, 240, 160},
    {"manual trims on the cut axis: centred between them", 640, 480, 0, 0, true,
     {0, 10, 0, 30}, {0, 16, 0, 36}, 240, 160},
    {"manual trims on the other axis are kept", 640, 480, 0, 0, true,
     {40, 0, 40, 0}, {40, 54, 40, 54}, 240, 160},
    {"manual size is kept", 320, 240, 0, 0, false, {}, {}, 120, 80, 120, 80},
    {"manual trims shape the automatic size", 320, 240, 0, 0, false,
     {40, 0, 40, 0}, {40, 0, 40, 0}, 160, 160},
    {"a thin picture keeps a window of one pixel", 2, 1000, 0, 0, true, {}, {0, 499, 0, 500}, 240, 160},
};

class GeometryTest : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(GeometryTest, FitsThePicture) {
  const GeometryCase& c = GetParam();
  GeometryRequest request;
  request.sourceWidth = c.width;
  request.sourceHeight = c.height;
  request.pictureAspectX = c.aspectX;
  request.pictureAspectY = c.aspectY;
  request.autoTrim = c.autoTrim;
  request.trim = c.trim;
  request.outputWidth = c.requestedWidth;
  request.outputHeight = c.requestedHeight;
  const auto g = fitPicture(request);
  ASSERT_TRUE(g) << c.what;
  EXPECT_EQ(g->outputWidth, c.expectedWidth) << c.what;
  EXPECT_EQ(g->outputHeight, c.expectedHeight) << c.what;
  EXPECT_EQ(g->trim.left, c.expectedTrim.left) << c.what;
  EXPECT_EQ(g->trim.bottom, c.expectedTrim.bottom) << c.what;
  EXPECT_EQ(g->trim.right, c.expectedTrim.right) << c.what;
  EXPECT_EQ(g->trim.top, c.expectedTrim.top) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Pictures, GeometryTest, ::testing::ValuesIn(kGeometryCases),
                         test::ByDescription());

TEST(GeometryRefusalTest, WindowsWithoutPixelsAndSizesRoundingToNothingAreRefused) {
  GeometryRequest request;
  request.sourceWidth = 320;
  request.sourceHeight = 240;
  request.trim = {160, 0, 160, 0};
  EXPECT_FALSE(fitPicture(request)) << "trims take every column";
  request.trim = {};
  request.sourceHeight = -240;
  EXPECT_FALSE(fitPicture(request)) << "top-down frame";
  request.sourceWidth = 1;
  request.sourceHeight = 1000;
  EXPECT_FALSE(fitPicture(request)) << "automatic width rounds to 0";
  request.sourceWidth = 1000;
  request.sourceHeight = 1;
  EXPECT_FALSE(fitPicture(request)) << "automatic height rounds to 0";
  request.sourceWidth = 100;
  request.sourceHeight = 10;
  EXPECT_TRUE(fitPicture(request)) << "a wide strip still gets height 24";
}

TEST(GeometryRefusalTest, RoundingToMultiplesOf4) {
  EXPECT_EQ(roundToMultipleOf4(1.49), 0);
  EXPECT_EQ(roundToMultipleOf4(1.5), 4);
  EXPECT_EQ(roundToMultipleOf4(5.49), 4);
  EXPECT_EQ(roundToMultipleOf4(5.5), 8);
}

}  // namespace
}  // namespace zepra
