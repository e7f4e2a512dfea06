#include "encoder/budget_plan.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "encoder/error_calibration.h"

namespace zepra {

namespace {

// Rounds of handing what capped frames cannot take to the others.
constexpr int kSpreadRounds = 8;
// The price searches' steps (far below a byte), up to kHighestPrice.
constexpr int kPriceSteps = 60;
// ... and near the last price found: within this of it, in as many steps
// as bring it as close.
constexpr double kNearPrice = 0.25;
constexpr int kNearPriceSteps = 24;
// A frame's price moves at most this many steps of kNeedPrices away from
// the common one, however far its error stands from the others'.
constexpr double kMostLean = 1.5;
// What the frames so far saved or overspent is spread over this many of the
// next frames (about 17 s at 15 frames a second): near enough to reach the
// scene that needs it, and a bounded amount of work per frame however long
// the stream.
constexpr std::size_t kFollowFrames = 256;
// No frame is priced beyond the last measured price while the budget pays
// for every frame there, nor beyond the lowest price at which it pays for
// every frame when it does not: beyond the last measured price the first
// pass has not seen the picture, and a frame that changes everywhere (a cut,
// cells that all turn) falls apart once it can no longer renew what changed,
// however well the first pass thought it would look.
constexpr double kLastMeasuredPrice = kNeedPrices.size() - 1.0;

// The lowest price in [low, high] at which `total` is within `budget`, the
// total falling as the price rises and within it at `high`. Following the
// stream the answer moves little from one frame to the next, so the search
// starts near the last one (`last`) when it lies there; it is updated.
template <typename Total>
double bisect(Total&& total, double budget, double low, double high, int steps) {
  for (int step = 0; step < steps; ++step) {
    const double mid = 0.5 * (low + high);
    (total(mid) <= budget ? high : low) = mid;
  }
  return high;
}

template <typename Total>
double lowestPaidFor(Total&& total, double budget, double low, double high, double& last) {
  if (last - kNearPrice > low && last + kNearPrice < high && total(last - kNearPrice) > budget &&
      total(last + kNearPrice) <= budget) {
    last = bisect(total, budget, last - kNearPrice, last + kNearPrice, kNearPriceSteps);
  } else {
    last = bisect(total, budget, low, high, kPriceSteps);
  }
  return last;
}

}  // namespace

MeasuredCurve::MeasuredCurve(const FrameNeed& measured, bool rising) : point_(measured) {
  for (std::size_t k = 0; k < point_.size(); ++k) {
    point_[k] = std::max(point_[k], 1.0);
    if (k > 0) point_[k] = rising ? std::max(point_[k], point_[k - 1]) : std::min(point_[k], point_[k - 1]);
  }
  for (std::size_t k = 0; k < rate_.size(); ++k) rate_[k] = std::log(point_[k + 1] / point_[k]);
}

double MeasuredCurve::at(double price) const {
  if (price <= 0.0) return point_[0];
  const std::size_t step = std::min(static_cast<std::size_t>(price), rate_.size() - 1);
  return point_[step] * std::exp(rate_[step] * (price - static_cast<double>(step)));
}

double MeasuredCurve::priceFor(double value) const {
  if (at(0.0) <= value) return 0.0;
  return bisect([this](double price) { return at(price); }, value, 0.0, kHighestPrice, kPriceSteps);
}

double needAt(const FrameNeed& need, double price) { return MeasuredCurve(need, false).at(price); }

double errorAt(const FrameNeed& error, double price) { return MeasuredCurve(error, true).at(price); }

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
  needs_.clear();
  needs_.reserve(count);
  for (const FrameAnalysis& f : frames) needs_.emplace_back(f.bytes, false);
  lean_.assign(count, 0.0);
  const double price = priceFrames(0, count, 0, allowance);
  if (leanTowardsEvenPictures(calibratedErrors(frames), price, evenPictures)) priceFrames(0, count, 0, allowance);
}

// A frame's price follows its error at the common price, against the mean
// of all frames' errors; true when some frame leans.
bool BudgetPlan::leanTowardsEvenPictures(std::span<const FrameNeed> errors, double price, double evenPictures) {
  if (evenPictures <= 0.0) return false;
  double sum = 0.0;
  std::size_t measured = 0;
  for (const FrameNeed& error : errors) {
    if (error[0] <= 0.0) continue;
    sum += errorAt(error, std::max(price, 0.0));
    ++measured;
  }
  if (measured == 0) return false;
  const double mean = sum / static_cast<double>(measured);
  const double step = std::log(kNeedPrices[1] / kNeedPrices[0]);
  for (std::size_t i = 0; i < errors.size(); ++i) {
    if (errors[i][0] <= 0.0) continue;
    const double above = std::log(errorAt(errors[i], std::max(price, 0.0)) / mean);
    lean_[i] = std::clamp(-evenPictures * above / step, -kMostLean, 0.0);
  }
  return true;
}

// Every frame in [first, end) gets its need at its price, at least its
// smallest size and at most the largest; the prices are the lowest that
// `until` - `spent` pays for. When even the lowest measured price leaves
// bytes over, they go to the frames by need, a margin over the first pass's
// estimate. Returns the common price.
double BudgetPlan::priceFrames(std::size_t first, std::size_t end, std::uint64_t spent, std::uint64_t until) {
  const double largest = limits_.largest > 0 ? static_cast<double>(limits_.largest) : INFINITY;
  std::vector<double> planned(end - first);
  double ceiling = kLastMeasuredPrice;
  auto fill = [&](double price) {
    double total = 0.0;
    for (std::size_t i = first; i < end; ++i) {
      const double need = needs_[i].at(std::min(price + lean_[i], ceiling));
      planned[i - first] = std::max(static_cast<double>(smallest_[i]), std::min(need, largest));
      total += planned[i - first];
    }
    return total;
  };
  const double budget = until > spent ? static_cast<double>(until - spent) : 0.0;
  // Every frame at the ceiling or below; where that is more than the
  // budget, the ceiling is the lowest price at which it pays for them all.
  auto everyFrameAt = [&](double most) {
    ceiling = most;
    return fill(kHighestPrice + kMostLean);
  };
  if (everyFrameAt(kLastMeasuredPrice) > budget) {
    if (everyFrameAt(kHighestPrice) > budget) {
      ceiling = INFINITY;
    } else {
      ceiling = lowestPaidFor(everyFrameAt, budget, kLastMeasuredPrice, kHighestPrice, lastCeiling_);
    }
  }
  // The lowest price the budget pays for: at -kMostLean every frame is at
  // its lowest measured price, far beyond the last every frame near its
  // smallest, which always fits.
  double price = -kMostLean;
  if (fill(price) > budget) price = lowestPaidFor(fill, budget, -kMostLean, kHighestPrice + kMostLean, lastPrice_);
  double spare = budget - fill(price);
  std::vector<bool> full(end - first, false);
  for (int round = 0; round < kSpreadRounds && spare > 1.0; ++round) {
    double open = 0.0;
    for (std::size_t i = first; i < end; ++i)
      if (!full[i - first]) open += needs_[i].at(0.0);
    if (open <= 0.0) break;
    double given = 0.0;
    for (std::size_t i = first; i < end; ++i) {
      double& frame = planned[i - first];
      if (full[i - first]) continue;
      const double add = std::min(spare * needs_[i].at(0.0) / open, largest - frame);
      if (frame + add >= largest) full[i - first] = true;
      frame += add;
      given += add;
    }
    spare -= given;
  }
  std::uint64_t total = spent;
  for (std::size_t i = first; i < end; ++i) {
    share_[i] = static_cast<std::uint64_t>(planned[i - first]);  // rounded down: the sum stays within
    total += share_[i];
    running_[i] = total;
  }
  return price;
}

// The frames beyond the window keep their running totals, so the window's
// frames share what the plan had for them and what is left over.
void BudgetPlan::follow(std::uint32_t n, std::uint64_t spent) {
  if (!feasible_ || n < 2 || n > frames()) return;
  const std::size_t end = std::min<std::size_t>(frames(), n - 1 + kFollowFrames);
  priceFrames(n - 1, end, spent, end == frames() ? allowance_ : running_[end - 1]);
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
