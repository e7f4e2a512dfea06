#pragma once
// How large an output image grows: the player program, the stream file's
// header and records, and the audio trailer. The encoder uses it to stop as
// soon as the image can no longer fit; an estimate before converting can use
// it with expected figures.

#include <cstddef>
#include <cstdint>

namespace zepra {

// Bytes of the image before its padding: playerBytes of player, streamBytes of
// stream header and records, and the audio trailer that framesEncoded frames
// at playbackStep (16.16 stream frames per display refresh) and audioSamples
// converted samples of sound need.
std::uint64_t imageBytesNeeded(std::uint64_t playerBytes, std::uint64_t streamBytes,
                               std::uint32_t framesEncoded, std::uint32_t playbackStep,
                               std::size_t audioSamples = 0);

}  // namespace zepra
