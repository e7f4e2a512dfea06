// The two-pass plan: one price for every frame, the hard limit it keeps
// whatever the frames spend, and the first pass's measure it is built on.

#include "encoder/budget_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cinepak/frame_encoder.h"
#include "cinepak/source_frame.h"
#include "encoder/analysis_compressor.h"
#include "format/cinepak.h"

namespace zepra {
namespace {

constexpr FrameSizeLimits kLimits{52, 22, 20000};

// Needs as the first pass measures them: a flat picture costs the same at
// every price, grain gives way fast as the price rises, a cut stays dear.
constexpr FrameNeed kFlat{1500, 1500, 1500};
constexpr FrameNeed kGrain{9000, 6000, 1200};
constexpr FrameNeed kCut{12000, 11000, 9000};

std::vector<FrameNeed> scenes() {
  std::vector<FrameNeed> needs(30, kFlat);
  needs.insert(needs.end(), 30, kGrain);
  needs.push_back(kCut);
  needs.insert(needs.end(), 29, kFlat);
  return needs;
}

// A compressor that spends every budget to the full, and never less than
// its smallest frame: the most any compressor keeping its budgets spends.
std::uint64_t spendEverything(const BudgetPlan& plan, std::uint32_t frames) {
  std::uint64_t spent = 0;
  for (std::uint32_t n = 1; n <= frames; ++n)
    spent += std::max(plan.budgetFor(n, spent), n == 1 ? kLimits.cheapestIntra : kLimits.cheapestInter);
  return spent;
}

TEST(BudgetPlan, OnePriceKeepsFlatPicturesWholeCutsGrainAndGivesTheCutSeveralShares) {
  const std::vector<FrameNeed> needs = scenes();
  const BudgetPlan plan(needs, 250000, kLimits);  // far below the needs at the lowest price
  ASSERT_TRUE(plan.feasible());
  EXPECT_EQ(plan.share(10), 1500u);  // flat: its need
  EXPECT_EQ(plan.share(80), 1500u);
  EXPECT_LT(plan.share(40), 6000u);  // grain: far below its need
  EXPECT_GT(plan.share(40), 1200u);
  EXPECT_GT(plan.share(61), 2 * plan.share(40));  // the cut
  std::uint64_t total = 0;
  for (std::uint32_t n = 1; n <= plan.frames(); ++n) total += plan.share(n);
  EXPECT_LE(total, plan.allowance());
  EXPECT_GT(total, plan.allowance() - plan.frames() - 200);  // nothing lost but rounding and the search
}

TEST(BudgetPlan, BytesLeftWhenEveryNeedIsMetGoByNeedWithinTheLargest) {
  const std::vector<FrameNeed> needs = scenes();
  const BudgetPlan plan(needs, 600000, kLimits);
  ASSERT_TRUE(plan.feasible());
  EXPECT_GT(plan.share(10), 1500u);
  EXPECT_GT(plan.share(40), 9000u);
  EXPECT_NEAR(static_cast<double>(plan.share(40)) / plan.share(10), 6.0, 0.01);
  const BudgetPlan generous(needs, 2000000, kLimits);
  EXPECT_EQ(generous.share(40), kLimits.largest);
  EXPECT_EQ(generous.share(61), kLimits.largest);
}

TEST(BudgetPlan, NeverEndsAboveTheAllowanceWhateverTheFramesSpend) {
  for (const std::uint64_t allowance : {52u + 89u * 22u, 3000u, 20000u, 250000u, 2000000u}) {
    const BudgetPlan plan(scenes(), allowance, kLimits);
    ASSERT_TRUE(plan.feasible()) << allowance;
    EXPECT_LE(spendEverything(plan, 90), allowance) << allowance;
  }
  // Fewer bytes than the smallest frames need cannot be planned.
  EXPECT_FALSE(BudgetPlan(scenes(), 52 + 89 * 22 - 1, kLimits).feasible());
}

TEST(BudgetPlan, SpendsWhatEarlierFramesLeftButNeverLessThanHalfItsShare) {
  const BudgetPlan plan(std::vector<FrameNeed>(10, kFlat), 10 * 1000, FrameSizeLimits{52, 22, 0});
  EXPECT_EQ(plan.budgetFor(3, 0), plan.share(1) + plan.share(2) + plan.share(3));  // two spent nothing
  EXPECT_EQ(plan.budgetFor(3, 5000), plan.share(3) / 2);      // ahead of the plan
  EXPECT_LE(plan.budgetFor(10, 9990), 10u);                   // the allowance's end holds
}

TEST(FrameNeedAt, MeasuredPointsBetweenThemAndBeyondThem) {
  const FrameNeed rising{1000, 2000, 250};  // a measure that rose with the price counts as flat there
  const struct {
    FrameNeed need;
    double price;
    double bytes;
  } cases[] = {
      {kGrain, 0.0, 9000}, {kGrain, 1.0, 6000}, {kGrain, 2.0, 1200}, {kGrain, -1.0, 9000},
      {kGrain, 0.5, 7348.5},     // geometric between 9000 and 6000
      {kGrain, 3.0, 240},        // beyond: the last step's rate again
      {kFlat, 7.5, 1500},
      {rising, 1.0, 1000}, {rising, 1.5, 500},
  };
  for (const auto& c : cases) EXPECT_NEAR(needAt(c.need, c.price), c.bytes, 0.5) << c.price;
}

// The first pass against the real compressor on the whole picture: a still
// frame needs next to nothing, a new scene much, grain less as the price
// rises while a flat picture does not, and the estimate of a scene's first
// frame is near what the compressor makes of the whole frame.
class AnalysisNeeds : public ::testing::Test {
 protected:
  static constexpr int kWidth = 240, kHeight = 160;
  using Frame = std::vector<std::uint8_t>;

  static Frame picture(int kind, int seed) {
    Frame f(static_cast<std::size_t>(kWidth) * kHeight * 3);
    std::uint32_t noise = 12345u + static_cast<std::uint32_t>(seed);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        std::uint8_t* p = &f[(static_cast<std::size_t>(y) * kWidth + x) * 3];
        noise = noise * 1664525u + 1013904223u;
        if (kind == 0) {  // smooth colour ramps
          p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y + 40), p[2] = 120;
        } else if (kind == 1) {  // grain over grey
          p[0] = p[1] = p[2] = static_cast<std::uint8_t>(96 + (noise >> 24) / 4);
        } else {  // a scene of hard-edged shapes
          const bool inside = ((x / 12 + y / 20) % 3 == 0) != ((x * x + y * y) % 4000 < 1800);
          p[0] = inside ? 20 : 230, p[1] = static_cast<std::uint8_t>(x + y), p[2] = inside ? 200 : 40;
        }
      }
    return f;
  }

  std::vector<FrameNeed> measure(const std::vector<Frame>& frames) {
    BitmapInfoHeader input;
    input.biWidth = kWidth;
    input.biHeight = kHeight;
    input.biBitCount = 24;
    std::vector<FrameNeed> needs;
    AnalysisCompressor analysis(input, needs);
    BitmapInfoHeader output;
    EXPECT_EQ(analysis.getOutputFormat(input, output), kIcErrOk);
    EXPECT_EQ(analysis.begin(input, output), kIcErrOk);
    std::vector<std::uint8_t> out(analysis.maxFrameSize(input, output));
    for (std::size_t n = 0; n < frames.size(); ++n) {
      CompressParams params;
      params.lpbiOutput = &output;
      params.lpOutput = out.data();
      params.lpbiInput = &input;
      params.lpInput = frames[n].data();
      params.lFrameNum = static_cast<std::int32_t>(n);
      EXPECT_EQ(analysis.compress(params), kIcErrOk);
      EXPECT_EQ(output.biSizeImage, 22u);  // the stream gets an empty frame
    }
    return needs;
  }
};

TEST_F(AnalysisNeeds, StillCutGrainAndFlatPicturesAsTheRealCompressorSeesThem) {
  const Frame ramps = picture(0, 0), scene = picture(2, 0);
  const std::vector<Frame> frames = {ramps, ramps, ramps, ramps, scene, picture(1, 1), picture(1, 2), picture(1, 3)};
  const std::vector<FrameNeed> needs = measure(frames);
  ASSERT_EQ(needs.size(), frames.size());
  EXPECT_LT(needs[3][2], 0.1 * needs[4][2]);  // still, once refined, against the cut
  EXPECT_GT(needs[7][0], 1.5 * needs[7][2]);  // grain gives way
  EXPECT_GT(needs[4][2], 0.5 * needs[4][0]);  // the cut much less

  // The whole frames, by the compressor itself at the lowest price.
  FrameEncoder encoder(1);
  encoder.begin(kWidth, kHeight, EncoderEffort{});
  SourceFrame source;
  source.resize(kWidth, kHeight);
  std::vector<std::uint8_t> out(FrameEncoder::maxFrameSize(kWidth, kHeight));
  for (std::size_t n = 0; n < 5; ++n) {
    source.load(frames[n].data());
    const std::size_t real = encoder.encode(source, n == 0, out.size(), lambdaForQuality(kDefaultQuality), out.data());
    if (n == 0 || n == 4) {
      EXPECT_NEAR(needs[n][0] / static_cast<double>(real), 1.0, 0.35) << n;
    }
  }
}

}  // namespace
}  // namespace zepra
