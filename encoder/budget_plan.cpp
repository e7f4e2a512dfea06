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
constexpr int kPriceSteps = 60;
// A frame's price moves at most this many steps of kNeedPrices away from
// the common one, however far its error stands from the others'.
constexpr double kMostLean = 1.5;

// The measured points, at least 1, made monotonic by `order` (falling:
// each at most the one before; rising: at least), then taken geometrically
// between them and beyond them at the nearest step's rate.
template <typename Order>
double curveAt(const FrameNeed& measured, double price, Order order) {
  FrameNeed curve = measured;
  for (std::size_t k = 0; k < curve.size(); ++k) {
    curve[k] = std::max(curve[k], 1.0);
    if (k > 0) curve[k] = order(curve[k], curve[k - 1]);
  }
  if (price <= 0.0) return curve[0];
  const std::size_t last = curve.size() - 1;
  const std::size_t step = std::min(static_cast<std::size_t>(price), last - 1);
  const double rate = std::log(curve[step + 1] / curve[step]);
  return curve[step] * std::exp(rate * (price - static_cast<double>(step)));
}

}  // namespace

double needAt(const FrameNeed& need, double price) {
  return curveAt(need, price, [](double a, double b) { return std::min(a, b); });
}

double errorAt(const FrameNeed& error, double price) {
  return curveAt(error, price, [](double a, double b) { return std::max(a, b); });
}

BudgetPlan::BudgetPlan(std::span<const FrameAnalysis> frames, std::uint64_t allowance, FrameSizeLimits limits,
                       double evenPictures)
    : allowance_(allowance), limits_(limits) {
  const std::size_t count = frames.size();
  share_.assign(count, 0);
  running_.assign(count, 0);
  if (count == 0) return;
  // Key frames are planned as intra frames when the allowance holds all of
  // them at their smallest; otherwise they wait for a budget that holds one.
  auto smallestFrames = [&](bool keys) {
    intra_.assign(count, false);
    smallest_.assign(count, limits.cheapestInter);
    for (std::size_t i = 0; i < count; ++i)
      if (i == 0 || (keys && frames[i].intra)) intra_[i] = true, smallest_[i] = limits.cheapestIntra;
    return std::accumulate(smallest_.begin(), smallest_.end(), std::uint64_t{0});
  };
  feasible_ = allowance >= smallestFrames(true);
  if (!feasible_) feasible_ = allowance >= smallestFrames(false);
  if (!feasible_) return;
  reserve_.assign(count, 0);
  for (std::size_t i = count - 1; i > 0; --i) reserve_[i - 1] = reserve_[i] + smallest_[i];
  planShares(frames, evenPictures);
}

// Every frame gets its need at its price, at least its smallest size and at
// most the largest; the prices are the lowest the allowance pays for. When
// even the lowest measured price leaves bytes over, they go to the frames by
// need, a margin over the first pass's estimate.
void BudgetPlan::planShares(std::span<const FrameAnalysis> frames, double evenPictures) {
  const std::size_t count = frames.size();
  const double largest = limits_.largest > 0 ? static_cast<double>(limits_.largest) : INFINITY;
  std::vector<double> lean(count, 0.0);  // each frame's price offset from the common one
  std::vector<double> planned(count);
  auto fill = [&](double price) {
    double total = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
      const double need = needAt(frames[i].bytes, price + lean[i]);
      planned[i] = std::max(static_cast<double>(smallest_[i]), std::min(need, largest));
      total += planned[i];
    }
    return total;
  };
  const double budget = static_cast<double>(allowance_);
  // The lowest price the allowance pays for: at -kMostLean every frame is at
  // its lowest measured price, far beyond the last every frame near its
  // smallest, which always fits.
  auto lowestPrice = [&] {
    if (fill(-kMostLean) <= budget) return -kMostLean;
    double low = -kMostLean, high = kHighestPrice + kMostLean;
    for (int step = 0; step < kPriceSteps; ++step) {
      const double mid = 0.5 * (low + high);
      (fill(mid) <= budget ? high : low) = mid;
    }
    return high;
  };
  double price = lowestPrice();
  // A frame's price follows its error at the common price, against the
  // geometric mean of all frames' errors.
  if (evenPictures > 0.0) {
    double sum = 0.0;
    std::size_t measured = 0;
    for (const FrameAnalysis& f : frames) {
      if (f.error[0] <= 0.0) continue;
      sum += errorAt(f.error, std::max(price, 0.0));
      ++measured;
    }
    if (measured > 0) {
      const double mean = sum / static_cast<double>(measured);
      const double step = std::log(kNeedPrices[1] / kNeedPrices[0]);
      for (std::size_t i = 0; i < count; ++i) {
        if (frames[i].error[0] <= 0.0) continue;
        const double above = std::log(errorAt(frames[i].error, std::max(price, 0.0)) / mean);
        lean[i] = std::clamp(-evenPictures * above / step, -kMostLean, 0.0);
      }
      price = lowestPrice();
    }
  }
  double spare = budget - fill(price);
  std::vector<bool> full(count, false);
  for (int round = 0; round < kSpreadRounds && spare > 1.0; ++round) {
    double open = 0.0;
    for (std::size_t i = 0; i < count; ++i)
      if (!full[i]) open += needAt(frames[i].bytes, 0.0);
    if (open <= 0.0) break;
    double given = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
      if (full[i]) continue;
      const double add = std::min(spare * needAt(frames[i].bytes, 0.0) / open, largest - planned[i]);
      if (planned[i] + add >= largest) full[i] = true;
      planned[i] += add;
      given += add;
    }
    spare -= given;
  }
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    share_[i] = static_cast<std::uint64_t>(planned[i]);  // rounded down: the sum stays within
    total += share_[i];
    running_[i] = total;
  }
}

std::uint64_t BudgetPlan::budgetFor(std::uint32_t n, std::uint64_t spent) const {
  if (n == 0) return 0;
  const std::uint32_t count = frames();
  // What the later frames must keep at their smallest.
  const std::uint64_t reserve = n < count ? reserve_[n - 1] : 0;
  const std::uint64_t hard = allowance_ > spent + reserve ? allowance_ - spent - reserve : 0;
  if (n > count) return std::max<std::uint64_t>(hard, 1);
  const std::uint64_t planned = running_[n - 1] > spent ? running_[n - 1] - spent : 0;
  std::uint64_t budget = std::max(planned, share_[n - 1] / 2);
  if (limits_.largest > 0) budget = std::min(budget, limits_.largest);
  // A planned intra frame keeps its smallest size, which the reserve held
  // for it, so it comes where it is due.
  if (intra_[n - 1]) budget = std::max(budget, smallest_[n - 1]);
  return std::max<std::uint64_t>(std::min(budget, hard), 1);
}

}  // namespace zepra
