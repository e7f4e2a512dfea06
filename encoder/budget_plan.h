#pragma once
// The byte budgets of a stream compressed in two passes. The first pass
// measures what each frame needs at a few prices of a byte (in squared
// display error, the compressor's own measure; AnalysisCompressor); the plan
// finds the one price at which the frames' needs add up to the stream's
// allowance and gives each frame its need at that price, within what the
// player decodes in time per frame. At one price for all frames, a byte goes
// where it removes the most error: a scene cut, which must build the new
// picture and its codebooks, gets many shares, grain that no budget can
// hold few, and a flat picture what it needs to stay sharp. Like the single pass, a frame may spend what earlier
// frames left unspent, and never gets less than half its planned share.
//
// The allowance is a hard limit: every budget leaves the later frames at
// least their smallest size, so a compressor whose frames stay within their
// budget (or at their smallest) ends within the allowance.

#include <array>
#include <cstdint>
#include <span>
#include <vector>


namespace zepra {

// The prices a frame's need is measured at, as multiples of the compressor's
// quality floor, lowest first; steps of equal ratio.
inline constexpr std::array<double, 3> kNeedPrices = {1.0, 12.0, 144.0};
// A frame's bytes at each of kNeedPrices.
using FrameNeed = std::array<double, kNeedPrices.size()>;

// A frame's bytes at a price between (or beyond) the measured ones: price is
// an index into kNeedPrices, fractions between its steps, bytes taken
// geometrically between them and beyond the last at the last step's rate.
// Never rises with the price.
double needAt(const FrameNeed& need, double price);

struct FrameSizeLimits {
  std::uint64_t cheapestIntra = 0;  // the first frame's smallest size
  std::uint64_t cheapestInter = 0;  // every later frame's
  std::uint64_t largest = 0;        // no budget above this (decoding time, format)
};

class BudgetPlan {
 public:
  BudgetPlan() = default;
  // needs: one per frame; allowance: bytes for all frames.
  BudgetPlan(std::span<const FrameNeed> needs, std::uint64_t allowance, FrameSizeLimits limits);

  // False when the allowance cannot hold even the smallest frames.
  bool feasible() const { return feasible_; }
  std::uint32_t frames() const { return static_cast<std::uint32_t>(share_.size()); }
  std::uint64_t allowance() const { return allowance_; }
  // The planned share of frame n (1 for the first).
  std::uint64_t share(std::uint32_t n) const { return share_.at(n - 1); }

  // The budget of frame n (1 for the first) after `spent` bytes.
  std::uint64_t budgetFor(std::uint32_t n, std::uint64_t spent) const;

 private:
  std::uint64_t smallest(std::uint32_t n) const { return n == 1 ? limits_.cheapestIntra : limits_.cheapestInter; }

  std::vector<std::uint64_t> share_;
  std::vector<std::uint64_t> running_;  // planned total after frame n
  std::uint64_t allowance_ = 0;
  FrameSizeLimits limits_;
  bool feasible_ = false;
};

}  // namespace zepra
