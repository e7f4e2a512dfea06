// The two-pass plan: what it shares out, and the hard limit it keeps whatever
// the frames spend; and the change measure it is built on.

#include "encoder/budget_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <vector>

namespace zepra {
namespace {

constexpr FrameSizeLimits kLimits{52, 22, 5000};

std::vector<double> weightsWithCutAt(std::size_t frames, std::size_t cut) {
  std::vector<FrameChange> changes(frames, FrameChange{0.4, 0.02});
  changes[0] = FrameChange{};
  changes[cut] = FrameChange{1.0, 0.95};
  return frameWeights(changes);
}

// A compressor that spends every budget to the full, and never less than
// its smallest frame: the most any compressor keeping its budgets spends.
std::uint64_t spendEverything(const BudgetPlan& plan, std::uint32_t frames) {
  std::uint64_t spent = 0;
  for (std::uint32_t n = 1; n <= frames; ++n)
    spent += std::max(plan.budgetFor(n, spent), n == 1 ? kLimits.cheapestIntra : kLimits.cheapestInter);
  return spent;
}

TEST(BudgetPlan, ACutAndTheFramesAfterItGetSeveralSharesWithinTheLargestFrame) {
  const std::vector<double> weights = weightsWithCutAt(100, 40);
  const BudgetPlan plan(weights, 30 * 1000, kLimits);
  ASSERT_TRUE(plan.feasible());
  EXPECT_GT(plan.share(41), 4 * plan.share(30));
  EXPECT_GT(plan.share(42), plan.share(30));
  EXPECT_LT(plan.share(42), plan.share(41));
  std::uint64_t total = 0;
  for (std::uint32_t n = 1; n <= plan.frames(); ++n) {
    EXPECT_LE(plan.share(n), kLimits.largest) << n;
    EXPECT_GE(plan.share(n), n == 1 ? kLimits.cheapestIntra : kLimits.cheapestInter) << n;
    total += plan.share(n);
  }
  EXPECT_LE(total, plan.allowance());
  EXPECT_GT(total, plan.allowance() - plan.frames());  // nothing lost but rounding
}

TEST(BudgetPlan, NeverEndsAboveTheAllowanceWhateverTheFramesSpend) {
  for (const std::uint64_t allowance : {52u + 99u * 22u, 3000u, 20000u, 100000u, 2000000u}) {
    const BudgetPlan plan(weightsWithCutAt(100, 70), allowance, kLimits);
    ASSERT_TRUE(plan.feasible()) << allowance;
    EXPECT_LE(spendEverything(plan, 100), allowance) << allowance;
  }
  // Fewer bytes than the smallest frames need cannot be planned.
  EXPECT_FALSE(BudgetPlan(weightsWithCutAt(100, 70), 52 + 99 * 22 - 1, kLimits).feasible());
}

TEST(BudgetPlan, SpendsWhatEarlierFramesLeftButNeverLessThanHalfItsShare) {
  const BudgetPlan plan(std::vector<double>(10, 1.0), 10 * 1000, FrameSizeLimits{52, 22, 0});
  EXPECT_EQ(plan.budgetFor(3, 0), plan.share(1) + plan.share(2) + plan.share(3));  // two spent nothing
  EXPECT_EQ(plan.budgetFor(3, 5000), plan.share(3) / 2);      // ahead of the plan
  EXPECT_LE(plan.budgetFor(10, 9990), 10u);                   // the allowance's end holds
}

struct Picture {
  int width = 16, height = 8;
  std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(16 * 8 * 3);
  void fill(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    for (std::size_t i = 0; i < pixels.size(); i += 3) pixels[i] = b, pixels[i + 1] = g, pixels[i + 2] = r;
  }
};

TEST(FrameChange, TellsStillnessMotionGrainAndCutsApart) {
  Picture grey, moved, grain, cut;
  grey.fill(100, 100, 100);  // well inside a colour bin
  moved = grey;
  for (int x = 0; x < 8 * 3; ++x) moved.pixels[x] = 0;  // the bottom row of two blocks darkens
  grain = grey;
  for (std::size_t i = 0; i < grain.pixels.size(); ++i) grain.pixels[i] = static_cast<std::uint8_t>(100 + (i * 7 % 21) - 10);
  cut.fill(250, 10, 10);

  const FrameChange first = frameChange(grey.pixels.data(), nullptr, 16, 8);
  EXPECT_EQ(first.changedBlocks, 1.0);
  EXPECT_EQ(first.newColours, 1.0);
  const FrameChange still = frameChange(grey.pixels.data(), grey.pixels.data(), 16, 8);
  EXPECT_EQ(still.changedBlocks, 0.0);
  EXPECT_EQ(still.newColours, 0.0);
  const FrameChange motion = frameChange(moved.pixels.data(), grey.pixels.data(), 16, 8);
  EXPECT_EQ(motion.changedBlocks, 2.0 / 8.0);
  const FrameChange noisy = frameChange(grain.pixels.data(), grey.pixels.data(), 16, 8);
  EXPECT_EQ(noisy.changedBlocks, 1.0);
  EXPECT_EQ(noisy.newColours, 0.0);
  const FrameChange scene = frameChange(cut.pixels.data(), grey.pixels.data(), 16, 8);
  EXPECT_EQ(scene.changedBlocks, 1.0);
  EXPECT_EQ(scene.newColours, 1.0);
}

}  // namespace
}  // namespace zepra
