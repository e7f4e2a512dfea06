// The block-fitting search on its own: a frame whose size steps down as the
// price of a bit rises, and budgets on and between those steps.
#include "cinepak/frame_budget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace zepra {
namespace {

constexpr int kBlocks = 8;
constexpr std::size_t kFixed = 100;  // headers and codebooks
constexpr float kFloor = 1.0f;

// Intra blocks that all cost nothing as V4; block i loses 320 (i + 1) as V1.
// V1 saves 32 bits, so block i turns to V1 once lambda reaches 10 (i + 1):
// the frame sheds one V4 block (3 bytes) at each of lambda 10, 20, ..., 80.
std::vector<BlockOptions> steppedBlocks() {
  std::vector<BlockOptions> options(kBlocks);
  for (int i = 0; i < kBlocks; ++i) {
    options[i].skipError = kUnavailable;
    options[i].v1Error = 320.0f * static_cast<float>(i + 1);
    options[i].v4Error = 0.0f;
    options[i].v1 = static_cast<std::uint8_t>(i);
    for (int q = 0; q < 4; ++q) options[i].v4[q] = static_cast<std::uint8_t>(4 * i + q);
  }
  return options;
}

// Frame size with `v1Blocks` blocks turned to V1: a vector chunk of header,
// one flag word and the indices, or the flagless V1-only chunk when all are.
std::size_t sizeWith(int v1Blocks) {
  if (v1Blocks == kBlocks) return kFixed + 4 + kBlocks;
  return kFixed + 4 + 4 + v1Blocks + 4 * (kBlocks - v1Blocks);
}

TEST(FrameBudget, ABudgetOnAStepIsSpentToTheByte) {
  const auto options = steppedBlocks();
  for (int v1Blocks = 0; v1Blocks <= kBlocks; ++v1Blocks) {
    const std::size_t budget = sizeWith(v1Blocks);
    std::vector<BlockChoice> choices(kBlocks);
    const FittedFrame fit = fitBlocks(options, true, kFixed, budget, kFloor, choices);
    EXPECT_TRUE(fit.fits) << "budget " << budget;
    EXPECT_EQ(fit.size, budget) << "bytes left unspent";
    EXPECT_EQ(std::count_if(choices.begin(), choices.end(), [](auto& c) { return c.kind == BlockKind::kV1; }),
              v1Blocks)
        << "budget " << budget;
    if (v1Blocks == 0) {
      EXPECT_EQ(fit.lambda, kFloor) << "a frame that fits at the floor is priced at the floor";
    }
  }
}

TEST(FrameBudget, ABudgetBetweenStepsTakesTheLargestFrameWithinIt) {
  const auto options = steppedBlocks();
  struct Case { std::size_t budget; std::size_t size; bool fits; };
  const Case cases[] = {
      {sizeWith(0) + 50, sizeWith(0), true},   // the floor keeps bytes it is not worth spending
      {sizeWith(1) - 1, sizeWith(2), true},
      {sizeWith(5) + 2, sizeWith(5), true},
      {sizeWith(7) - 1, sizeWith(8), true},
      {sizeWith(8) - 1, sizeWith(8), false},  // even every block as V1 is too big
  };
  for (const Case& c : cases) {
    std::vector<BlockChoice> choices(kBlocks);
    const FittedFrame fit = fitBlocks(options, true, kFixed, c.budget, kFloor, choices);
    EXPECT_EQ(fit.fits, c.fits) << "budget " << c.budget;
    EXPECT_EQ(fit.size, c.size) << "budget " << c.budget;
  }
}

}  // namespace
}  // namespace zepra
