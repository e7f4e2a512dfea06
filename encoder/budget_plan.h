#pragma once
// The byte budgets of a stream compressed in two passes. The first pass
// measures how each frame changes (frameChange); the plan shares the
// stream's allowance among the frames by weight: a scene cut and the frames
// just after it, which must build the new picture and its codebooks, get
// several shares, a still frame a small one, within what the player decodes
// in time per frame. Like the single pass, a frame may spend what earlier
// frames left unspent, and never gets less than half its planned share.
//
// The allowance is a hard limit: every budget leaves the later frames at
// least their smallest size, so a compressor whose frames stay within their
// budget (or at their smallest) ends within the allowance.

#include <cstdint>
#include <span>
#include <vector>

#include "encoder/frame_change.h"

namespace zepra {

struct FrameSizeLimits {
  std::uint64_t cheapestIntra = 0;  // the first frame's smallest size
  std::uint64_t cheapestInter = 0;  // every later frame's
  std::uint64_t largest = 0;        // no budget above this (decoding time, format)
};

// One weight per frame: the shares it should get.
std::vector<double> frameWeights(std::span<const FrameChange> changes);

class BudgetPlan {
 public:
  BudgetPlan() = default;
  // weights: one per frame (frameWeights); allowance: bytes for all frames.
  BudgetPlan(std::span<const double> weights, std::uint64_t allowance, FrameSizeLimits limits);

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
