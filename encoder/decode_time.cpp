#include "encoder/decode_time.h"

#include <algorithm>

namespace zepra {

std::uint64_t largestTimelyFrame(FrameRate output) {
  if (output.rate == 0 || output.scale == 0) return 0;
  // A frame lasts this many refreshes on average; the playback clock carries
  // fractions over, and a frame never shows twice in one refresh.
  const double refreshes = std::max(1.0, kRefreshRate * output.scale / output.rate);
  const double available = refreshes * static_cast<double>(kCyclesPerRefresh - kSoundRefillCycles);
  const double spent = static_cast<double>(kScreenCopyCycles + kDecodeFixedCycles);
  return available > spent ? static_cast<std::uint64_t>((available - spent) / kDecodeCyclesPerByte) : 0;
}

}  // namespace zepra
