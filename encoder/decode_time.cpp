#include "encoder/decode_time.h"

#include <algorithm>

#include "format/cinepak.h"
#include "format/screen.h"

namespace zepra {

// The costliest mix first: every byte drawing a V1 block while blocks last,
// then codebook bytes, then bytes that turn drawn blocks into V4 ones.
std::uint64_t decodeCyclesAtMost(std::uint64_t bytes, std::uint64_t blocks) {
  const std::uint64_t drawn = std::min(bytes, blocks);
  const std::uint64_t books = std::min(bytes - drawn, kMostCodebookBytes);
  const std::uint64_t rest = bytes - drawn - books;
  return kDecodeFixedCycles + kDrawnBlockCycles * drawn + kCodebookByteCycles * books + kV4ByteCycles * rest;
}

std::uint64_t largestTimelyFrame(FrameRate output, int width, int height) {
  if (output.rate == 0 || output.scale == 0 || width <= 0 || height <= 0) return 0;
  // A frame lasts this many refreshes on average; the playback clock carries
  // fractions over, and a frame never shows twice in one refresh.
  const double refreshes = std::max(1.0, kRefreshRate * output.scale / output.rate);
  const double available = refreshes * static_cast<double>(kCyclesPerRefresh - kSoundRefillCycles);
  const double left = available - static_cast<double>(kScreenCopyCycles);
  const std::uint64_t blocks = static_cast<std::uint64_t>(width / 4) * static_cast<std::uint64_t>(height / 4);
  auto timely = [&](std::uint64_t bytes) { return static_cast<double>(decodeCyclesAtMost(bytes, blocks)) <= left; };
  if (!timely(0)) return 0;
  // The cycles grow with the bytes.
  std::uint64_t low = 0, high = kMaxFrameLength;  // low is timely; above high is not
  while (low < high) {
    const std::uint64_t mid = low + (high - low + 1) / 2;
    if (timely(mid)) low = mid; else high = mid - 1;
  }
  return low;
}

}  // namespace zepra
