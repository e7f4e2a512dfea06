#include "cinepak/frame_budget.h"

#include <algorithm>
#include <cmath>

#include "cinepak/frame_writer.h"

namespace zepra {

namespace {

constexpr float kMaxLambda = 1e9f;

std::size_t choose(std::span<const BlockOptions> options, bool intra, std::size_t fixedBytes, float lambda,
                   std::span<BlockChoice> choices) {
  const BlockBits& bits = intra ? kIntraBits : kInterBits;
  for (std::size_t b = 0; b < options.size(); ++b) {
    const BlockOptions& o = options[b];
    BlockChoice& c = choices[b];
    c.kind = chooseKind(o, bits, lambda);
    if (c.kind == BlockKind::kV1) c.index[0] = o.v1;
    if (c.kind == BlockKind::kV4) std::copy(o.v4, o.v4 + 4, c.index);
  }
  return fixedBytes + vectorChunkSize(choices.first(options.size()), intra);
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
  return {high, size, true};
}

}  // namespace zepra
