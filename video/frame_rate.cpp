#include "video/frame_rate.h"

#include <limits>

namespace zepra {

FrameSelection resolveFrameRateMode(int mode, FrameRate source) {
  switch (mode) {
    case -1: {
      const double fps = static_cast<double>(source.rate) / source.scale;
      if (fps <= 15.0) return {0, 0};
      return {-1, static_cast<std::uint32_t>(fps * 0.06666666666666667 + 0.75)};
    }
    case 6: return {-1, 4};
    case 7: return {-1, 5};
    default: return {mode, 0};
  }
}

FrameRate reduceFrameRate(FrameSelection selection, FrameRate source) {
  std::uint64_t rate = source.rate;
  std::uint64_t scale = source.scale;
  switch (selection.mode) {
    case -1: scale *= selection.frameDivisor; break;
    case 1: rate *= 4; scale *= 5; break;
    case 2: rate *= 2; scale *= 3; break;
    case 3: scale *= 2; break;
    case 4: rate *= 2; scale *= 5; break;
    case 5: scale *= 3; break;
    default: break;
  }
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
  if (rate > kMax || scale > kMax) return {};
  return {static_cast<std::uint32_t>(rate), static_cast<std::uint32_t>(scale)};
}

bool isSlotKept(FrameSelection selection, std::uint32_t k) {
  switch (selection.mode) {
    case -1: return k % selection.frameDivisor == 0;
    case 1: return k % 5 != 0;
    case 2: return k % 3 != 0;
    case 3: return k % 2 == 1;
    case 4: return k % 5 == 1 || k % 5 == 3;
    case 5: return k % 3 == 1;
    default: return true;
  }
}

std::uint32_t reducedFrameCount(FrameSelection selection, std::uint32_t n) {
  const std::uint64_t n64 = n;  // 4n and 2n must not wrap
  switch (selection.mode) {
    case -1: return static_cast<std::uint32_t>(n64 / selection.frameDivisor);
    case 1: return static_cast<std::uint32_t>(4 * n64 / 5);
    case 2: return static_cast<std::uint32_t>(2 * n64 / 3);
    case 3: return n / 2;
    case 4: return static_cast<std::uint32_t>(2 * n64 / 5);
    case 5: return n / 3;
    default: return n;
  }
}

std::uint32_t keptFrameCount(FrameSelection selection, std::uint32_t n) {
  // Whole periods of the slot grid keep a fixed number; the slots of a last,
  // partial period are counted one by one.
  std::uint32_t period = 1, keptPerPeriod = 1;
  switch (selection.mode) {
    case -1: period = selection.frameDivisor; break;
    case 1: period = 5, keptPerPeriod = 4; break;
    case 2: period = 3, keptPerPeriod = 2; break;
    case 3: period = 2; break;
    case 4: period = 5, keptPerPeriod = 2; break;
    case 5: period = 3; break;
    default: break;
  }
  if (period == 0) return 0;
  std::uint32_t kept = n / period * keptPerPeriod;
  for (std::uint32_t k = 1; k <= n % period; ++k) kept += isSlotKept(selection, k) ? 1 : 0;
  return kept;
}

std::uint32_t playbackStep(FrameRate output) {
  return static_cast<std::uint32_t>((output.rate * 65536.0) / (output.scale * kRefreshRate));
}

std::uint32_t frameByteTarget(int bitrate, FrameRate output) {
  // 500 KB/s at a scale of 5000 already exceeds 32 bits; the widest product
  // (2^31 x 2^10 x 2^32) needs more than 64.
  const unsigned __int128 target =
      static_cast<unsigned __int128>(bitrate) * 1024 * output.scale / output.rate;
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  return target > kMax ? kMax : static_cast<std::uint32_t>(target);
}

std::uint32_t bitrateBudget(int bitrate, FrameRate output, std::uint32_t n, std::uint64_t bytesSoFar) {
  const unsigned __int128 allowed =
      static_cast<unsigned __int128>(bitrate) * 1024 * output.scale * n / output.rate;
  const unsigned __int128 budget = allowed > bytesSoFar ? allowed - bytesSoFar : 1;
  const std::uint32_t floor = frameByteTarget(bitrate, output) >> 1;
  constexpr std::uint32_t kMax = std::numeric_limits<std::uint32_t>::max();
  return budget < floor ? floor : budget > kMax ? kMax : static_cast<std::uint32_t>(budget);
}

}  // namespace zepra
