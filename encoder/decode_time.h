#pragma once
// What the console player decodes in time. Each stream frame has the display
// refreshes that its playbackStep gives it; out of them go the copy of the
// back buffer to the screen and the sound refills, and the rest is the
// decoder's. The decoder's cost grows with the record's size (measured in
// the emulator, see the player's decode-cycle tests), so the time turns into
// the largest frame that is never late.

#include <cstdint>

#include "video/frame_rate.h"

namespace zepra {

// Copying the 240 x 160 back buffer to the screen by DMA.
inline constexpr std::uint64_t kScreenCopyCycles = 153600;
// One sound refill, a loud passage, in the display-refresh interrupt.
inline constexpr std::uint64_t kSoundRefillCycles = 12000;
// Decoding a record: a fixed part (set-up, the codebooks' bookkeeping) and
// a part per byte of the record, with a margin over the worst measured.
inline constexpr std::uint64_t kDecodeFixedCycles = 40000;
inline constexpr std::uint64_t kDecodeCyclesPerByte = 24;

// The largest compressed frame the player decodes before it is due at this
// output rate; 0 when not even an empty frame is.
std::uint64_t largestTimelyFrame(FrameRate output);

}  // namespace zepra
