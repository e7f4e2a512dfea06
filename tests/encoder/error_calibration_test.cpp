// The first pass's errors made true to the real compressor: each scene's
// errors scaled by what its frames coded whole showed, at the same bytes.

#include "encoder/error_calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace zepra {
namespace {

// A frame as the mosaic measured it: 8000, 4000 and 2000 bytes at the three
// prices, leaving `error`, twice and four times that.
FrameAnalysis mosaic(double error) {
  FrameAnalysis f;
  f.bytes = {8000, 4000, 2000};
  f.error = {error, 2 * error, 4 * error};
  return f;
}

struct Coded {
  std::size_t frame;
  double bytes, error;  // what the real compressor took and left
};

// Scenes of ten frames each, the mosaic's error of each given, some frames
// coded whole.
std::vector<FrameAnalysis> scenes(const std::vector<double>& errors, const std::vector<Coded>& coded) {
  std::vector<FrameAnalysis> frames;
  for (double error : errors)
    for (int i = 0; i < 10; ++i) frames.push_back(mosaic(error));
  for (const Coded& c : coded) frames[c.frame].trueBytes = c.bytes, frames[c.frame].trueError = c.error;
  return frames;
}

TEST(ErrorCalibration, EachSceneIsScaledByItsFramesCodedWholeAtTheSameBytes) {
  const struct {
    const char* what;
    std::vector<double> errors;     // each scene's mosaic error at the lowest price
    std::vector<Coded> coded;
    std::vector<double> scale;      // expected, per scene
  } cases[] = {
      // At 4000 bytes the mosaic's error is twice the scene's, at 2000 four
      // times, at 2828 (the price halfway) about 2.83 times.
      {"one frame each", {10, 100}, {{1, 4000, 5}, {11, 2000, 360}}, {0.25, 0.9}},
      {"between the prices", {100}, {{3, 2828.43, 141.42}}, {0.5}},
      {"the mean of a scene's frames", {10}, {{1, 4000, 5}, {8, 4000, 20}}, {0.5}},
      {"a scene without one takes the nearest frame's", {10, 100, 1000}, {{1, 4000, 10}, {28, 2000, 4000}},
       {0.5, 0.5, 1.0}},
      {"no frame coded whole: as measured", {10, 100}, {}, {1.0, 1.0}},
  };
  for (const auto& c : cases) {
    const std::vector<FrameAnalysis> frames = scenes(c.errors, c.coded);
    const std::vector<FrameNeed> errors = calibratedErrors(frames);
    ASSERT_EQ(errors.size(), frames.size()) << c.what;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      // The middle scene of "nearest": its first half is nearer the first scene's frame.
      const double scale = c.scale.size() == 3 && i >= 15 && i < 20 ? c.scale[2] : c.scale[i / 10];
      for (std::size_t k = 0; k < kNeedPrices.size(); ++k)
        EXPECT_NEAR(errors[i][k], frames[i].error[k] * scale, 1e-3 * frames[i].error[k]) << c.what << " frame " << i;
    }
  }
}

TEST(ErrorCalibration, ASceneChangesWhenTheErrorMovesByAFactorOfTwo) {
  const struct {
    double before, now;
    bool changes;
  } cases[] = {{10, 19.9, false}, {10, 20.1, true}, {20.1, 10, true}, {19.9, 10, false},
               {0, 0, false},     {0, 5, true},     {5, 0, true}};
  for (const auto& c : cases)
    EXPECT_EQ(newScene(mosaic(c.before), mosaic(c.now)), c.changes) << c.before << " " << c.now;
}

}  // namespace
}  // namespace zepra
