#include "encoder/frame_change.h"

#include <algorithm>
#include <array>

namespace zepra {

namespace {

// A change below this (the sum of squared 8-bit errors over a block's 48
// samples, about 4 levels a sample) is left as the player shows it.
constexpr double kVisibleChange = 48.0 * 16.0;
// Block colours (the mean of each channel) are counted in 4 x 4 x 4 bins.
constexpr int kLevels = 4;
using ColourCounts = std::array<int, kLevels * kLevels * kLevels>;

int colourBin(const int sum[3]) {
  auto level = [](int s) { return std::min(kLevels - 1, s / 16 * kLevels / 256); };
  return (level(sum[0]) * kLevels + level(sum[1])) * kLevels + level(sum[2]);
}

}  // namespace

FrameChange frameChange(const std::uint8_t* frame, const std::uint8_t* previous, int width, int height) {
  const std::size_t stride = static_cast<std::size_t>(width) * 3;
  ColourCounts now{}, before{};
  int blocks = 0, changed = 0;
  for (int by = 0; by + 4 <= height; by += 4) {
    for (int bx = 0; bx + 4 <= width; bx += 4) {
      int sum[3] = {0, 0, 0}, last[3] = {0, 0, 0};
      double change = 0.0;
      for (int y = 0; y < 4; ++y) {
        const std::size_t row = (by + y) * stride + static_cast<std::size_t>(bx) * 3;
        for (int i = 0; i < 12; ++i) {
          sum[i % 3] += frame[row + i];
          if (previous) {
            last[i % 3] += previous[row + i];
            const double d = static_cast<double>(frame[row + i]) - previous[row + i];
            change += d * d;
          }
        }
      }
      ++blocks;
      ++now[colourBin(sum)];
      if (previous) ++before[colourBin(last)];
      if (!previous || change > kVisibleChange) ++changed;
    }
  }
  if (blocks == 0 || !previous) return {};
  int novel = 0;
  for (std::size_t b = 0; b < now.size(); ++b) novel += std::max(0, now[b] - before[b]);
  return {static_cast<double>(changed) / blocks, static_cast<double>(novel) / blocks};
}

}  // namespace zepra
