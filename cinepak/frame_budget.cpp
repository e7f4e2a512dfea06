#include "cinepak/frame_budget.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "cinepak/frame_writer.h"

namespace zepra {

namespace {

constexpr float kMaxLambda = 1e9f;

void setChoice(const BlockOptions& o, BlockKind kind, BlockChoice& c);

std::size_t choose(std::span<const BlockOptions> options, bool intra, std::size_t fixedBytes, float lambda,
                   std::span<BlockChoice> choices) {
  const BlockBits& bits = intra ? kIntraBits : kInterBits;
  for (std::size_t b = 0; b < options.size(); ++b) {
    const BlockOptions& o = options[b];
    BlockChoice& c = choices[b];
    setChoice(o, chooseKind(o, bits, lambda), c);
  }
  return fixedBytes + vectorChunkSize(choices.first(options.size()), intra);
}

void setChoice(const BlockOptions& o, BlockKind kind, BlockChoice& c) {
  c.kind = kind;
  if (kind == BlockKind::kV1) c.index[0] = o.v1;
  if (kind == BlockKind::kV4) std::copy(o.v4, o.v4 + 4, c.index);
}

// Blocks that are alike (flat areas, a still background) change their choice
// at the same price, so the price that fits can leave much of the budget
// unspent. The blocks that a slightly lower price would upgrade are then
// upgraded in picture order, as many as still fit; the rest follow in later
// frames. Returns the frame's size.
std::size_t spendRest(std::span<const BlockOptions> options, bool intra, std::size_t fixedBytes, std::size_t budget,
                      float tooLow, std::span<BlockChoice> choices, std::size_t size) {
  const BlockBits& bits = intra ? kIntraBits : kInterBits;
  int upgradable = 0;
  for (std::size_t b = 0; b < options.size(); ++b)
    upgradable += chooseKind(options[b], bits, tooLow) != choices[b].kind ? 1 : 0;
  if (upgradable == 0) return size;
  const std::vector<BlockChoice> fitted(choices.begin(), choices.begin() + options.size());
  // Upgrades the first `count` of them over the fitted choices.
  auto upgrade = [&](int count) {
    for (std::size_t b = 0; b < options.size(); ++b) {
      choices[b] = fitted[b];
      if (count == 0) continue;
      const BlockKind kind = chooseKind(options[b], bits, tooLow);
      if (kind == fitted[b].kind) continue;
      setChoice(options[b], kind, choices[b]);
      --count;
    }
    return fixedBytes + vectorChunkSize(choices.first(options.size()), intra);
  };
  int low = 0, high = upgradable;  // low fits; above high does not
  while (low < high) {
    const int mid = (low + high + 1) / 2;
    if (upgrade(mid) <= budget) low = mid; else high = mid - 1;
  }
  return upgrade(low);
}

}  // namespace

float lambdaForQuality(std::uint32_t quality) {
  const float steps = static_cast<float>(kMaxQuality - std::min(quality, kMaxQuality)) / 1000.0f;
  return 0.5f * std::exp2(steps);
}

FittedFrame fitBlocks(std::span<const BlockOptions> options, bool intra, std::size_t fixedBytes,
                      std::size_t budget, float floor, std::span<BlockChoice> choices) {
  floor = std::max(floor, 0.01f);
  std::size_t size = choose(options, intra, fixedBytes, floor, choices);
  if (size <= budget) return {floor, size, true};
  // Find a lambda that fits, then narrow the gap to the largest that does not.
  float tooLow = floor, high = floor;
  do {
    tooLow = high;
    high = high * 4.0f;
    size = choose(options, intra, fixedBytes, high, choices);
  } while (size > budget && high < kMaxLambda);
  if (size > budget) return {high, size, false};
  for (int i = 0; i < 14; ++i) {
    const float mid = std::sqrt(tooLow * high);
    if (choose(options, intra, fixedBytes, mid, choices) <= budget) high = mid; else tooLow = mid;
  }
  size = choose(options, intra, fixedBytes, high, choices);
  return {high, spendRest(options, intra, fixedBytes, budget, tooLow, choices, size), true};
}

}  // namespace zepra
