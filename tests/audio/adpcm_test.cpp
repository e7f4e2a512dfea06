#include <gtest/gtest.h>

#include <cmath>

#include "audio/adpcm_coder.h"
#include "tests/audio/audio_test_support.h"

namespace zepra {
namespace {

TEST(AdpcmTables, HoldTheStepSizesTheirIndexRangeExpects) {
  EXPECT_EQ(kAdpcmStepTable[0], 16);
  const std::int16_t loudest[] = {1060, 1166, 1282, 1411, 1552};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(kAdpcmStepTable[44 + i], loudest[i]);
  for (int i = 1; i < kAdpcmStepCount; ++i) {
    const double ratio = static_cast<double>(kAdpcmStepTable[i]) / kAdpcmStepTable[i - 1];
    EXPECT_TRUE(ratio > 1.05 && ratio < 1.16) << i;
  }
  for (int code = 0; code < 8; ++code) {
    EXPECT_EQ(kAdpcmMultiplier[code], 2 * code + 1);
    EXPECT_EQ(kAdpcmMultiplier[code + 8], -kAdpcmMultiplier[code]);
    EXPECT_EQ(kAdpcmIndexAdjustment[code + 8], kAdpcmIndexAdjustment[code]);
  }
}

TEST(AdpcmCoder, ChoosesCodesAndStepsAsTheDecoderWill) {
  struct Case {
    const char* name;
    std::int32_t predictor, stepIndex;
    std::int16_t x;
    int code;
    std::int32_t predictorAfter, stepIndexAfter;
  };
  const Case cases[] = {
      {"zero difference takes the sign bit", 0, 0, 0, 8, -2, 0},
      {"-1 shifts arithmetically to -1", 0, 0, -1, 8, -2, 0},
      {"large rise gives magnitude 7", 0, 0, 32767, 7, 30, 8},
      {"large fall gives magnitude 7", 0, 0, -32768, 15, -30, 8},
      {"q = 2 gives magnitude 0", 0, 0, 5 * 64, 0, 2, 0},
      {"q = 3 gives magnitude 1", 0, 0, 7 * 64, 1, 6, 0},
      {"q = 15 gives magnitude 7", 0, 0, 30 * 64, 7, 30, 8},
      {"predictor clamps at 511", 500, 48, 32767, 0, 511, 47},
      {"predictor clamps at -512", -500, 48, -32768, 8, -512, 47},
      {"loud step", 0, 48, -32768, 8, -194, 47},
      {"delta truncates toward zero", 0, 45, 32767, 1, 437, 44},
      {"negative delta truncates toward zero", 0, 45, -32768, 9, -437, 44},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AdpcmCoder coder{c.predictor, c.stepIndex};
    EXPECT_EQ(coder.encodeAdpcmSample(c.x), c.code);
    EXPECT_EQ(coder.adpcmPredictor, c.predictorAfter);
    EXPECT_EQ(coder.adpcmStepIndex, c.stepIndexAfter);
  }
}

// The player's generated tables and its decoder, built for the host.
TEST(PlayerDecoding, TablesStartWithTheSmallestStep) {
  const std::int16_t firstRow[] = {2, 6, 10, 14, 18, 22, 26, 30,
                                   -2, -6, -10, -14, -18, -22, -26, -30};
  for (int x = 0; x < 16; ++x) EXPECT_EQ(kLowNibbleDelta[0][x], firstRow[x]);
}

// Every byte from every step index and every seventh predictor: the
// player's look-ups give the samples and the state of two encoder updates.
TEST(PlayerDecoding, OneLookUpPerNibbleEqualsTwoUpdateSteps) {
  for (std::int32_t s = 0; s < kAdpcmStepCount; ++s) {
    for (std::int32_t predictor = kAdpcmPredictorMin; predictor <= kAdpcmPredictorMax;
         predictor += 7) {
      for (int x = 0; x < 256; ++x) {
        AdpcmCoder coder{predictor, s};
        coder.adpcmUpdate(x & 15);
        const std::int32_t afterLow = coder.adpcmPredictor;
        coder.adpcmUpdate(x >> 4);
        s32 playerPredictor = predictor, playerStepIndex = s;
        const std::uint8_t byte = static_cast<std::uint8_t>(x);
        std::int8_t played[2];
        decodeAdpcm(played, &byte, 1, &playerPredictor, &playerStepIndex);
        ASSERT_EQ(played[0], afterLow >> 2) << s << " " << predictor << " " << x;
        ASSERT_EQ(played[1], coder.adpcmPredictor >> 2) << s << " " << predictor << " " << x;
        ASSERT_EQ(playerPredictor, coder.adpcmPredictor) << s << " " << predictor << " " << x;
        ASSERT_EQ(playerStepIndex, coder.adpcmStepIndex) << s << " " << predictor << " " << x;
      }
    }
  }
}

// Encodes pairs of samples into bytes, recording the encoder's predictors.
std::vector<std::uint8_t> encodePairs(const std::vector<std::int16_t>& samples,
                                      std::vector<std::int16_t>& predictors) {
  AdpcmCoder coder;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
    const int low = coder.encodeAdpcmSample(samples[i]);
    predictors.push_back(static_cast<std::int16_t>(coder.adpcmPredictor));
    const int high = coder.encodeAdpcmSample(samples[i + 1]);
    predictors.push_back(static_cast<std::int16_t>(coder.adpcmPredictor));
    EXPECT_TRUE(coder.adpcmPredictor >= kAdpcmPredictorMin &&
                coder.adpcmPredictor <= kAdpcmPredictorMax);
    EXPECT_TRUE(coder.adpcmStepIndex >= 0 && coder.adpcmStepIndex < kAdpcmStepCount);
    bytes.push_back(static_cast<std::uint8_t>(low | high << 4));
  }
  return bytes;
}

TEST(PlayerDecoding, PlaysTheEncodersPredictors) {
  struct Case {
    const char* name;
    std::vector<std::int16_t> samples;
  };
  std::vector<std::int16_t> square, chirp, silence(64, 0);
  for (int i = 0; i < 4000; ++i) square.push_back((i / 37) % 2 ? 32767 : -32768);
  for (int i = 0; i < 4000; ++i) {
    chirp.push_back(static_cast<std::int16_t>(30000 * std::sin(i * i * 1e-4)));
  }
  const Case cases[] = {{"full-scale square", square}, {"chirp", chirp}, {"silence", silence}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::int16_t> predictors;
    const auto bytes = encodePairs(c.samples, predictors);
    std::vector<std::int8_t> expected;
    for (std::int16_t p : predictors) expected.push_back(static_cast<std::int8_t>(p >> 2));
    EXPECT_EQ(test::playOnConsole(bytes), expected);
  }
}

TEST(PlayerDecoding, SilenceFromTheStartIsByte08PlayedAsMinusOneAndZero) {
  std::vector<std::int16_t> predictors;
  const auto bytes = encodePairs(std::vector<std::int16_t>(352, 0), predictors);
  EXPECT_EQ(bytes, std::vector<std::uint8_t>(176, 0x08));
  const auto played = test::playOnConsole(bytes);
  EXPECT_EQ(played[0], -1);
  EXPECT_EQ(played[1], 0);
}

TEST(AdpcmCoder, FullScaleSquareWavesStayInRangeAndReachTheLoudestSteps) {
  std::int32_t highestIndex = 0;
  for (int halfPeriod : {1, 2, 4, 8, 50}) {
    SCOPED_TRACE(halfPeriod);
    AdpcmCoder coder;
    for (int i = 0; i < 20000; ++i) {
      coder.encodeAdpcmSample((i / halfPeriod) % 2 ? 32767 : -32768);
      ASSERT_GE(coder.adpcmPredictor, kAdpcmPredictorMin);
      ASSERT_LE(coder.adpcmPredictor, kAdpcmPredictorMax);
      ASSERT_GE(coder.adpcmStepIndex, 0);
      ASSERT_LT(coder.adpcmStepIndex, kAdpcmStepCount);
      highestIndex = std::max(highestIndex, coder.adpcmStepIndex);
    }
  }
  EXPECT_GE(highestIndex, 44);
}

}  // namespace
}  // namespace zepra
