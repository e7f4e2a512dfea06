#pragma once
// Field by field comparison of two jobs' settings, so a failure names the field.

#include <gtest/gtest.h>

#include "job/settings_model.h"

namespace zepra::test {

inline void expectSameJob(const ConversionJob& want, const ConversionJob& got) {
  EXPECT_EQ(want.inputPath, got.inputPath);
  EXPECT_EQ(want.outputPath, got.outputPath);
  EXPECT_EQ(want.romTitle, got.romTitle);
  EXPECT_EQ(want.bitrate, got.bitrate);
  EXPECT_EQ(want.width, got.width);
  EXPECT_EQ(want.height, got.height);
  EXPECT_EQ(want.keepAspect, got.keepAspect);
  EXPECT_EQ(want.trimMode, got.trimMode);
  EXPECT_EQ(want.trimLeft, got.trimLeft);
  EXPECT_EQ(want.trimBottom, got.trimBottom);
  EXPECT_EQ(want.trimRight, got.trimRight);
  EXPECT_EQ(want.trimTop, got.trimTop);
  EXPECT_EQ(want.frameRateIndex, got.frameRateIndex);
  EXPECT_EQ(want.preFilter, got.preFilter);
  EXPECT_EQ(want.gammaEnabled, got.gammaEnabled);
  EXPECT_EQ(want.gamma, got.gamma);
}

}  // namespace zepra::test
