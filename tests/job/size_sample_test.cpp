// Where the size estimate's sample lies, with the fake decoding graph: the
// stretches it decodes, how many a video of its length takes, and the key
// frames they start at where the input's index tells of them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "fake_graph.h"
#include "job/size_estimate.h"
#include "platform/job_state.h"

namespace zepra {
namespace {

std::vector<double> everySeconds(double step, double until) {
  std::vector<double> times;
  for (double t = 0.0; t < until; t += step) times.push_back(t);
  return times;
}

TEST(SizeSample, StretchesAreSpreadOverTheVideoAndStartAtKeyFramesWithinReach) {
  struct Case {
    const char* name;
    int sourceFrames;
    std::vector<double> keyFrames;  // what the index tells
    std::size_t stretches;          // 1: the whole video
  };
  const std::vector<Case> cases = {
      {"a long video without an index", 1000, {}, 8},
      // 200 kept frames: five stretches are 45 of them, more than 15 %.
      {"a shorter video takes fewer stretches", 400, {}, 5},
      {"key frames within reach of every place", 1000, everySeconds(2.0, 40.0), 8},
      {"key frames far apart", 1000, {0.0, 21.0}, 8},
      {"a very short video is sampled whole", 150, {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    resetJobState();
    test::GraphScript script;
    script.frames = c.sourceFrames;
    script.keyFrames = c.keyFrames;
    ConversionJob job;
    job.inputPath = "in.avi";
    const std::optional<SizeEstimate> estimate =
        estimateImageSize(job, EstimateDepth::kSampled, test::fakeGraphFactory(script));
    ASSERT_TRUE(estimate) << lastErrorText();
    EXPECT_TRUE(estimate->sampled);
    // The input is opened once: its length decides where the stretches lie.
    EXPECT_EQ(script.calls, (std::vector<std::string>{"build in.avi", "query", "run", "release"}));

    const std::vector<DecodingWindow>& windows = script.windows;
    ASSERT_EQ(windows.size(), c.stretches);
    EXPECT_EQ(windows.front().start, 0.0);
    if (c.stretches == 1) {
      EXPECT_TRUE(std::isinf(windows.front().end));
      continue;
    }
    const double seconds = c.sourceFrames / 25.0;
    // Stretches of one length, at least a settling and a counted frame.
    const double length = windows.front().end;
    EXPECT_GE(length, 2 / 12.5);
    const double spacing = (seconds - length) / (windows.size() - 1);
    for (std::size_t i = 1; i < windows.size(); ++i) {
      SCOPED_TRACE(i);
      const DecodingWindow& w = windows[i];
      EXPECT_NEAR(w.end - w.start, length, 1e-9);
      EXPECT_GE(w.start, windows[i - 1].end);
      EXPECT_LE(w.end, seconds + 1e-9);
      // Each within half the spacing of its even place.
      const double even = spacing * i;
      EXPECT_LE(std::abs(w.start - even), spacing / 2 + 1e-9);
      bool keyWithinReach = false;
      for (double key : c.keyFrames) {
        keyWithinReach = keyWithinReach || (std::abs(key - even) <= spacing / 2 && key >= windows[i - 1].end &&
                                            key + length <= seconds);
      }
      const bool atKey = std::find(c.keyFrames.begin(), c.keyFrames.end(), w.start) != c.keyFrames.end();
      if (keyWithinReach) {
        EXPECT_TRUE(atKey) << w.start;
      } else if (!c.keyFrames.empty()) {
        // Less decoded from the key frame before it.
        EXPECT_LT(w.start, even) << w.start;
      } else {
        EXPECT_NEAR(w.start, even, 1e-9);
      }
    }
  }
}

}  // namespace
}  // namespace zepra
