#pragma once
// Frame rates as rate / scale frames per second, the frame-rate reduction
// modes of the "Framerate" list, and the per-frame figures derived from the
// output rate.
//
// Modes: -1 "Auto" (one of every frameDivisor), 0 all, 1 four of five, 2 two
// of three, 3 one of two, 4 two of five, 5 one of three, 6 one of four, 7 one
// of five. Resolving a mode turns "Auto" into 0 or -1 and 6 and 7 into -1, so
// a resolved mode is -1 or 0..5.

#include <cstdint>

#include "format/screen.h"

namespace zepra {

// The modes run from "Auto" (-1) to this one.
inline constexpr int kLastFrameRateMode = 7;

struct FrameRate {
  std::uint32_t rate = 0;
  std::uint32_t scale = 0;
};

// Sources this fast or faster are refused: a frame a microsecond or less is
// no video but a damaged or forged header, and its slots would leave the
// stream without a frame to show. Below it, every mode's playback step still
// fits 32 bits.
inline constexpr double kMaxSourceFramesPerSecond = 1'000'000.0;

struct FrameSelection {
  int mode = 0;                   // -1 or 0..5
  std::uint32_t frameDivisor = 0; // N of mode -1
};

// Sources at most 15 frames/s keep every frame in "Auto"; faster ones keep
// one of every trunc(fps / 15 + 0.75).
FrameSelection resolveFrameRateMode(int mode, FrameRate source);

// The output rate after the reduction. Empty rate (0 / 0) when it does not fit
// 32 bits.
FrameRate reduceFrameRate(FrameSelection selection, FrameRate source);

// Whether slot k (1 for the first frame) of the source grid is kept.
bool isSlotKept(FrameSelection selection, std::uint32_t k);

// The frame count after reduction that the compressor is told: whole
// periods' worth, every division truncated.
std::uint32_t reducedFrameCount(FrameSelection selection, std::uint32_t n);

// The frames the reduction really keeps of n source frames, a last partial
// period included: the first slot of a period is often kept, so 75 frames at
// 1/2 keep 38 where the truncated count says 37. What sizes are planned by.
std::uint32_t keptFrameCount(FrameSelection selection, std::uint32_t n);

// Output frames per display refresh, 16.16 fixed point.
std::uint32_t playbackStep(FrameRate output);

// Bytes per output frame at bitrate kilobytes per second (at most 2^32 - 1).
std::uint32_t frameByteTarget(int bitrate, FrameRate output);

// The byte budget of output frame n (1 for the first) when the frames before
// it took bytesSoFar: the running total the bitrate allows after n frames, so
// a frame may spend what earlier frames saved, but never less than half a
// frame's share.
std::uint32_t bitrateBudget(int bitrate, FrameRate output, std::uint32_t n, std::uint64_t bytesSoFar);

}  // namespace zepra
