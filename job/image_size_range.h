#pragma once
// What a cartridge image weighs, from the shape of its stream: the player,
// the stream header, one record per frame, the sound trailer and the 0xFF
// padding. The pacing's byte budget bounds the frames, so the largest image a
// conversion can produce is known before the first frame is compressed; the
// lowest is the image whose every frame is as small as the compressor makes it.
//
// Frame bytes here are compressed Cinepak frames as the compressor returns
// them (what the pacing counts); each becomes a record 18 bytes shorter.

#include <array>
#include <cstdint>

#include "video/frame_rate.h"

namespace zepra {

inline constexpr std::uint64_t kMiB = 1024 * 1024;
// The cartridge sizes flash cartridges come in, smallest first.
inline constexpr std::array<std::uint64_t, 4> kCartridgeSizes = {4 * kMiB, 8 * kMiB, 16 * kMiB, 32 * kMiB};

struct StreamShape {
  std::uint32_t frames = 0;  // frame records, after the frame-rate reduction
  FrameRate rate;            // the output frame rate
  int width = 0;
  int height = 0;
  std::uint64_t audioSamples = 0;  // the converted sound (21024 Hz), 0 when not known
};

// The video's length in seconds at its output rate.
double streamSeconds(const StreamShape& shape);

// Bytes of the audio trailer, its block count included.
std::uint64_t trailerBytes(const StreamShape& shape);

// Bytes of the image before padding, for frames that total frameBytes.
std::uint64_t unpaddedImageBytes(std::uint64_t playerBytes, const StreamShape& shape,
                                 std::uint64_t frameBytes);
// The file's size: padded with 0xFF to the next multiple of 32 KiB.
std::uint64_t paddedImageBytes(std::uint64_t unpaddedBytes);

// The most the frames can total at bitrate kilobytes per second: the pacing
// lets a frame spend what the running total allows, never less than half a
// frame's share, and no frame is smaller than the compressor's smallest.
// keyFrameEvery: a key frame is asked for every this many frames (0: only
// the first), and a key frame is never smaller than the smallest intra frame,
// whatever its budget.
std::uint64_t largestFrameBytes(const StreamShape& shape, int bitrate, std::uint32_t keyFrameEvery = 0);
// The least they can total: an intra frame at its smallest, then frames
// that skip every block.
std::uint64_t smallestFrameBytes(const StreamShape& shape);

// What an image may weigh before its padding when its file may weigh at most
// `limit` bytes: the limit within the largest cartridge, down to a whole
// number of padding blocks.
std::uint64_t usableImageBytes(std::uint64_t limit);

// The frame bytes that an image of at most imageBytes leaves, or 0 when even
// the smallest frames do not fit. The padding counts: the result keeps the
// padded file within imageBytes.
std::uint64_t frameBytesWithin(std::uint64_t playerBytes, const StreamShape& shape,
                               std::uint64_t imageBytes);

// The frames of a stream made to fit a target size: what the target leaves
// after the rest of the image, but no more than the highest bitrate allows;
// 0 when even the smallest frames do not fit.
std::uint64_t targetFrameAllowance(std::uint64_t playerBytes, const StreamShape& shape, std::uint64_t targetBytes);

// The highest bitrate the settings take whose largest frames stay within
// frameBytes: the bitrate a stream of that allowance amounts to. 0 when not
// even the lowest does.
int bitrateWithin(const StreamShape& shape, std::uint64_t frameBytes);

// The most frames of this shape whose lowest image stays within imageBytes
// (its audioSamples taken to end with the video); 0 when none.
std::uint32_t longestFittingFrames(std::uint64_t playerBytes, const StreamShape& shape,
                                   std::uint64_t imageBytes);

// The smallest cartridge that holds imageBytes, or 0 when none does.
constexpr std::uint64_t smallestCartridgeFor(std::uint64_t imageBytes) {
  for (const std::uint64_t size : kCartridgeSizes)
    if (imageBytes <= size) return size;
  return 0;
}

}  // namespace zepra

namespace zepra {

// The bitrate a target size implies: the highest, at most `highest`, whose
// largest frames fit what an image of at most imageBytes leaves them; 0 when
// not even 1 kilobyte per second fits.
int bitrateForTarget(std::uint64_t playerBytes, const StreamShape& shape, std::uint64_t imageBytes, int highest);

}  // namespace zepra
