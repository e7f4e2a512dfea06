#include "encoder/budget_plan.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zepra {

namespace {

// A frame where nothing changes weighs this much, one where every block
// changes 1.
constexpr double kStillWeight = 0.3;
// A scene cut adds this many shares, and the frames after it a part that
// halves from frame to frame.
constexpr double kCutShares = 10.0;
constexpr double kCutDecay = 0.5;
// Rounds of handing what capped frames cannot take to the others.
constexpr int kSpreadRounds = 8;

}  // namespace

std::vector<double> frameWeights(std::span<const FrameChange> changes) {
  std::vector<double> weights(changes.size());
  double cut = 0.0;
  for (std::size_t i = 0; i < changes.size(); ++i) {
    cut = std::max(cut * kCutDecay, changes[i].newColours);
    weights[i] = kStillWeight + (1.0 - kStillWeight) * changes[i].changedBlocks + kCutShares * cut;
  }
  return weights;
}

BudgetPlan::BudgetPlan(std::span<const double> weights, std::uint64_t allowance, FrameSizeLimits limits)
    : allowance_(allowance), limits_(limits) {
  const std::size_t frames = weights.size();
  share_.assign(frames, 0);
  running_.assign(frames, 0);
  if (frames == 0) return;
  const std::uint64_t least = limits.cheapestIntra + (frames - 1) * limits.cheapestInter;
  feasible_ = allowance >= least;
  if (!feasible_) return;

  std::vector<double> weight(weights.begin(), weights.end());
  for (double& w : weight) w = std::max(w, 1e-9);

  // Every frame first gets its smallest size; the rest is shared by weight,
  // and what a frame cannot take above its largest goes to the others.
  std::vector<double> planned(frames);
  for (std::size_t i = 0; i < frames; ++i) planned[i] = static_cast<double>(smallest(static_cast<std::uint32_t>(i + 1)));
  double spare = static_cast<double>(allowance - least);
  const double largest = limits.largest > 0 ? static_cast<double>(limits.largest) : INFINITY;
  std::vector<bool> full(frames, false);
  for (int round = 0; round < kSpreadRounds && spare > 1.0; ++round) {
    double open = 0.0;
    for (std::size_t i = 0; i < frames; ++i)
      if (!full[i]) open += weight[i];
    if (open <= 0.0) break;
    double given = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
      if (full[i]) continue;
      const double add = std::min(spare * weight[i] / open, largest - planned[i]);
      if (planned[i] + add >= largest) full[i] = true;
      planned[i] += add;
      given += add;
    }
    spare -= given;
  }
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < frames; ++i) {
    share_[i] = static_cast<std::uint64_t>(planned[i]);  // rounded down: the sum stays within
    total += share_[i];
    running_[i] = total;
  }
}

std::uint64_t BudgetPlan::budgetFor(std::uint32_t n, std::uint64_t spent) const {
  if (n == 0) return 0;
  const std::uint32_t count = frames();
  // What the later frames must keep at their smallest.
  const std::uint64_t reserve = n < count ? (count - n) * limits_.cheapestInter : 0;
  const std::uint64_t hard = allowance_ > spent + reserve ? allowance_ - spent - reserve : 0;
  if (n > count) return std::max<std::uint64_t>(hard, 1);
  const std::uint64_t planned = running_[n - 1] > spent ? running_[n - 1] - spent : 0;
  std::uint64_t budget = std::max(planned, share_[n - 1] / 2);
  if (limits_.largest > 0) budget = std::min(budget, limits_.largest);
  return std::max<std::uint64_t>(std::min(budget, hard), 1);
}

}  // namespace zepra
