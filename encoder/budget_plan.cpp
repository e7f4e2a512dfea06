#include "encoder/budget_plan.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zepra {

namespace {

// Rounds of handing what capped frames cannot take to the others.
constexpr int kSpreadRounds = 8;
// The search for the common price: its range (indices into kNeedPrices,
// far beyond the last) and steps (far below a byte).
constexpr double kHighestPrice = kNeedPrices.size() + 8.0;
constexpr int kPriceSteps = 50;

}  // namespace

double needAt(const FrameNeed& need, double price) {
  // Measured needs are made never to rise with the price.
  FrameNeed falling = need;
  for (std::size_t k = 0; k < falling.size(); ++k) {
    falling[k] = std::max(falling[k], 1.0);
    if (k > 0) falling[k] = std::min(falling[k], falling[k - 1]);
  }
  if (price <= 0.0) return falling[0];
  const std::size_t last = falling.size() - 1;
  const std::size_t step = std::min(static_cast<std::size_t>(price), last - 1);
  const double rate = std::log(falling[step + 1] / falling[step]);
  return falling[step] * std::exp(rate * (price - static_cast<double>(step)));
}

// Every frame gets its need at one common price, at least its smallest size
// and at most the largest: the lowest price the allowance pays for. When
// even the lowest measured price leaves bytes over, they go to the frames by
// need, a margin over the first pass's estimate.
BudgetPlan::BudgetPlan(std::span<const FrameNeed> needs, std::uint64_t allowance, FrameSizeLimits limits)
    : allowance_(allowance), limits_(limits) {
  const std::size_t frames = needs.size();
  share_.assign(frames, 0);
  running_.assign(frames, 0);
  if (frames == 0) return;
  const std::uint64_t least = limits.cheapestIntra + (frames - 1) * limits.cheapestInter;
  feasible_ = allowance >= least;
  if (!feasible_) return;

  const double largest = limits.largest > 0 ? static_cast<double>(limits.largest) : INFINITY;
  std::vector<double> planned(frames);
  auto fill = [&](double price) {
    double total = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
      const double lowest = static_cast<double>(smallest(static_cast<std::uint32_t>(i + 1)));
      planned[i] = std::max(lowest, std::min(needAt(needs[i], price), largest));
      total += planned[i];
    }
    return total;
  };
  const double budget = static_cast<double>(allowance);
  double spare = budget - fill(0.0);
  if (spare < 0.0) {
    double low = 0.0, high = kHighestPrice;  // high always fits: every frame near its smallest
    for (int step = 0; step < kPriceSteps; ++step) {
      const double mid = 0.5 * (low + high);
      (fill(mid) <= budget ? high : low) = mid;
    }
    spare = budget - fill(high);
  }
  std::vector<bool> full(frames, false);
  for (int round = 0; round < kSpreadRounds && spare > 1.0; ++round) {
    double open = 0.0;
    for (std::size_t i = 0; i < frames; ++i)
      if (!full[i]) open += needAt(needs[i], 0.0);
    if (open <= 0.0) break;
    double given = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
      if (full[i]) continue;
      const double add = std::min(spare * needAt(needs[i], 0.0) / open, largest - planned[i]);
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
