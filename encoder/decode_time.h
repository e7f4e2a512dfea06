#pragma once
// What the console player decodes in time. Each stream frame has the display
// refreshes that its playbackStep gives it; out of them go the copy of the
// back buffer to the screen and the sound refills, and the rest is the
// decoder's. The decoder's cost, measured in the emulator by kind of frame
// and size (the player's decode-cost test), is bounded by what the costliest
// mix of a frame's bytes takes: a byte that draws a block from one V1 entry
// costs the most, a codebook byte less, and a byte that makes a block V4
// instead of V1 least; so the time turns into the largest frame that is
// never late.

#include <cstdint>

#include "video/frame_rate.h"

namespace zepra {

// Copying the 240 x 160 back buffer to the screen by DMA.
inline constexpr std::uint64_t kScreenCopyCycles = 153600;
// One sound refill, a loud passage, in the display-refresh interrupt.
inline constexpr std::uint64_t kSoundRefillCycles = 12000;
// Decoding a frame that skips every block of a 240 x 160 picture: its flag
// words, the set-up (measured 46,098).
inline constexpr std::uint64_t kDecodeFixedCycles = 48000;
// A block drawn from one V1 entry, its index byte and flag bits (measured
// 82.4 a block).
inline constexpr std::uint64_t kDrawnBlockCycles = 85;
// A byte of codebook entries (measured 17.1).
inline constexpr std::uint64_t kCodebookByteCycles = 18;
// Each of the three bytes that make a drawn block V4 (measured 8.3 a byte).
inline constexpr std::uint64_t kV4ByteCycles = 9;
// The most codebook bytes a frame carries: both codebooks in full, with the
// flag words of a partial load.
inline constexpr std::uint64_t kMostCodebookBytes = 2 * (4 + 32 + 256 * 6);

// The most cycles the player takes to decode a frame of `bytes` bytes in a
// picture of `blocks` 4 x 4 blocks.
std::uint64_t decodeCyclesAtMost(std::uint64_t bytes, std::uint64_t blocks);

// The largest compressed frame of a width x height picture that the player
// decodes before it is due at this output rate; 0 when not even an empty
// frame is.
std::uint64_t largestTimelyFrame(FrameRate output, int width, int height);

}  // namespace zepra
