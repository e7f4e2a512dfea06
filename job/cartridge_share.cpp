#include "job/cartridge_share.h"

#include <algorithm>

#include "job/cartridge_layout.h"

namespace zepra {

std::vector<std::uint64_t> shareFrameBytes(std::span<const StreamShape> shapes, std::uint64_t streamBytes) {
  // A stream weighs its lowest plus whatever its frames spend above their
  // smallest, byte for byte.
  std::vector<std::uint64_t> share, most;
  std::uint64_t lowest = 0;
  for (const StreamShape& shape : shapes) {
    share.push_back(smallestFrameBytes(shape));
    most.push_back(std::max(largestFrameBytes(shape, kHighestBitrate), share.back()));
    lowest += unpaddedImageBytes(0, shape, share.back());
  }
  if (lowest > streamBytes) return {};
  std::uint64_t left = streamBytes - lowest;
  std::vector<bool> open(shapes.size(), true);
  for (bool capped = true; capped && left > 0;) {
    std::uint64_t openFrames = 0;
    for (std::size_t i = 0; i < shapes.size(); ++i)
      if (open[i]) openFrames += shapes[i].frames;
    if (openFrames == 0) break;
    // Streams whose share passes their most take their most and leave the
    // share; the rest is shared again among the others.
    capped = false;
    std::vector<std::uint64_t> give(shapes.size(), 0);
    for (std::size_t i = 0; i < shapes.size(); ++i) {
      if (!open[i]) continue;
      give[i] = static_cast<std::uint64_t>(static_cast<unsigned __int128>(left) * shapes[i].frames / openFrames);
      if (share[i] + give[i] >= most[i]) capped = true;
    }
    std::uint64_t given = 0;
    for (std::size_t i = 0; i < shapes.size(); ++i) {
      if (!open[i]) continue;
      if (!capped) {
        share[i] += give[i];
        given += give[i];
      } else if (share[i] + give[i] >= most[i]) {
        given += most[i] - share[i];
        share[i] = most[i];
        open[i] = false;
      }
    }
    left -= given;
  }
  return share;
}

std::uint64_t streamFrameAllowance(const StreamShape& shape, std::span<const StreamShape> later,
                                   std::uint64_t fitBytes, std::uint64_t streamStart) {
  const std::uint64_t gaps = later.size() * kMaxStreamGap;
  const std::uint64_t usable = usableImageBytes(fitBytes);
  if (usable < streamStart + gaps) return 0;
  std::vector<StreamShape> shapes{shape};
  shapes.insert(shapes.end(), later.begin(), later.end());
  const std::vector<std::uint64_t> share = shareFrameBytes(shapes, usable - streamStart - gaps);
  return share.empty() ? 0 : share.front();
}

}  // namespace zepra
