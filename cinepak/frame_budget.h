#pragma once
// The byte budget of one frame. Lambda prices a bit in units of squared
// display error; the quality sets its floor (the price below which bytes are
// not worth spending), and the budget raises it until the frame fits: the
// smallest lambda whose block choices bring the frame within the budget.

#include <cstddef>
#include <span>

#include "cinepak/block_decisions.h"
#include "format/cinepak.h"

namespace zepra {

inline constexpr std::uint32_t kMaxQuality = 10000;
inline constexpr std::uint32_t kDefaultQuality = 7500;

// 0..10000, higher is better: lambda halves every 1000 steps.
float lambdaForQuality(std::uint32_t quality);

struct FittedFrame {
  float lambda = 0.0f;
  std::size_t size = 0;  // whole frame, headers and codebooks included
  bool fits = false;     // false: even the cheapest choices exceed the budget
};

// Chooses every block's coding at the smallest lambda >= floor that brings
// fixedBytes + the vector chunk within budget, writing the choices.
FittedFrame fitBlocks(std::span<const BlockOptions> options, bool intra, std::size_t fixedBytes,
                      std::size_t budget, float floor, std::span<BlockChoice> choices);

}  // namespace zepra
