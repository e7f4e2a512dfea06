#include "cinepak/price_memory.h"

#include <algorithm>
#include <cmath>

namespace zepra {

namespace {

// The floor is this share of the remembered price; each frame that teaches
// moves the memory this share of the way, in logarithms. A frame held at the
// floor teaches the floor, so calm frames halve the memory every 16 frames.
constexpr float kFloorShare = 0.5f;
constexpr float kLearnRate = 1.0f / 16.0f;

}  // namespace

float PriceMemory::floor(float qualityFloor) const { return std::max(qualityFloor, kFloorShare * price_); }

void PriceMemory::recall(float price) { price_ = std::isfinite(price) && price > 0.0f ? price : 0.0f; }

void PriceMemory::passFramesAtFloor(std::uint32_t frames, float qualityFloor) {
  for (std::uint32_t i = 0; i < frames && price_ > 0.0f; ++i) learn(floor(qualityFloor), false, false);
}

void PriceMemory::learn(float price, bool intra, bool starved) {
  if (intra || starved || price <= 0.0f) return;
  price_ = price_ == 0.0f ? price : std::exp(std::log(price_) + kLearnRate * (std::log(price) - std::log(price_)));
}

}  // namespace zepra
