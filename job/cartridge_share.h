#pragma once
// How a target size is shared among the videos of a cartridge: each stream
// first gets its smallest frames, then the bytes left are shared by the
// videos' lengths in frames. No stream gets more than the highest bitrate
// could spend; what such a stream cannot use goes to the others.

#include <cstdint>
#include <span>
#include <vector>

#include "job/image_size_range.h"
#include "job/settings_model.h"

namespace zepra {

// The highest bitrate the settings take, kilobytes per second: the most a
// stream with a target size may spend.
inline constexpr int kHighestBitrate = kBitrateRange.max;

// The frame bytes of each stream, when the streams together may weigh
// streamBytes (headers, records and sound trailers). Empty when even their
// smallest frames do not fit.
std::vector<std::uint64_t> shareFrameBytes(std::span<const StreamShape> shapes, std::uint64_t streamBytes);

// The frame bytes a stream of a cartridge with a target size may spend,
// given its shape: what the target leaves behind the streams before it (the
// stream starts at streamStart) shared with the later streams by length,
// room for their alignment kept. 0 when even the smallest frames do not fit.
std::uint64_t streamFrameAllowance(const StreamShape& shape, std::span<const StreamShape> later,
                                   std::uint64_t fitBytes, std::uint64_t streamStart);

}  // namespace zepra
