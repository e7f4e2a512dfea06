// Naming and options: every range, checked in order, nothing kept on a refusal.

#include <gtest/gtest.h>

#include <cmath>

#include "encoder/stream_encoder.h"
#include "tests/encoder/case_name.h"

namespace zepra {
namespace {

struct OptionsCase {
  const char* what;
  int width;
  int height;
  int mode;
  int filter;
  int bitrate;
  float gamma;
  int trimLeft;
  bool accepted;
};

const OptionsCase kOptionsCases[] = {
    {"defaults", -1, -1, -1, 0, 120, 1.0f, 0, true},
    {"width 4", 4, -1, 0, 0, 120, 1.0f, 0, true},
    {"width 240", 240, 160, 0, 0, 120, 1.0f, 0, true},
    {"width 0", 0, -1, 0, 0, 120, 1.0f, 0, false},
    {"width 2", 2, -1, 0, 0, 120, 1.0f, 0, false},
    {"width 238", 238, -1, 0, 0, 120, 1.0f, 0, false},
    {"width 241", 241, -1, 0, 0, 120, 1.0f, 0, false},
    {"width 244", 244, -1, 0, 0, 120, 1.0f, 0, false},
    {"width -2", -2, -1, 0, 0, 120, 1.0f, 0, false},
    {"height 4", -1, 4, 0, 0, 120, 1.0f, 0, true},
    {"height 160", -1, 160, 0, 0, 120, 1.0f, 0, true},
    {"height 0", -1, 0, 0, 0, 120, 1.0f, 0, false},
    {"height 2", -1, 2, 0, 0, 120, 1.0f, 0, false},
    {"height 161", -1, 161, 0, 0, 120, 1.0f, 0, false},
    {"height 164", -1, 164, 0, 0, 120, 1.0f, 0, false},
    {"mode -1", -1, -1, -1, 0, 120, 1.0f, 0, true},
    {"mode 7", -1, -1, 7, 0, 120, 1.0f, 0, true},
    {"mode -2", -1, -1, -2, 0, 120, 1.0f, 0, false},
    {"mode 8", -1, -1, 8, 0, 120, 1.0f, 0, false},
    {"filter 3", -1, -1, 0, 3, 120, 1.0f, 0, true},
    {"filter -1", -1, -1, 0, -1, 120, 1.0f, 0, false},
    {"filter 4", -1, -1, 0, 4, 120, 1.0f, 0, false},
    {"bitrate 1", -1, -1, 0, 0, 1, 1.0f, 0, true},
    {"bitrate 0", -1, -1, 0, 0, 0, 1.0f, 0, false},
    {"gamma 1.33", -1, -1, 0, 0, 120, 1.33f, 0, true},
    {"gamma 7.99 (the float lies below)", -1, -1, 0, 0, 120, 7.99f, 0, true},
    {"gamma 0.01 (the float lies below)", -1, -1, 0, 0, 120, 0.01f, 0, false},
    {"gamma 0.0100001", -1, -1, 0, 0, 120, 0.0100001f, 0, true},
    {"gamma 0.009", -1, -1, 0, 0, 120, 0.009f, 0, false},
    {"gamma 8.0", -1, -1, 0, 0, 120, 8.0f, 0, false},
    {"gamma NaN", -1, -1, 0, 0, 120, std::nanf(""), 0, false},
    {"trim 1000", -1, -1, 0, 0, 120, 1.0f, 1000, true},
    {"negative trim", -1, -1, 0, 0, 120, 1.0f, -1, false},
};

class OptionsTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(OptionsTest, RangesAreCheckedAndRefusalsStoreNothing) {
  const OptionsCase& c = GetParam();
  StreamEncoder encoder(nullptr);
  // A known configuration first, so that a refusal can be seen to keep it.
  const int known[4] = {0, 0, 0, 0};
  ASSERT_TRUE(encoder.setOptions(known, false, 200, 120, 0, 0, 100, 1.0f));

  const int trim[4] = {c.trimLeft, 0, 0, 0};
  EXPECT_EQ(encoder.setOptions(trim, false, c.width, c.height, c.mode, c.filter, c.bitrate, c.gamma),
            c.accepted)
      << c.what;
  const int expectedWidth = c.accepted ? c.width : 200;
  EXPECT_EQ(encoder.outputWidth(), expectedWidth) << c.what;
  EXPECT_EQ(encoder.trim().left, c.accepted ? c.trimLeft : 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Ranges, OptionsTest, ::testing::ValuesIn(kOptionsCases), test::ByDescription());

TEST(OutputNameTest, NullAndEmptyPathsAreRefused) {
  StreamEncoder encoder(nullptr);
  EXPECT_FALSE(encoder.setOutputName(nullptr));
  EXPECT_FALSE(encoder.setOutputName(""));
  EXPECT_TRUE(encoder.setOutputName("/tmp/x"));
}

}  // namespace
}  // namespace zepra
