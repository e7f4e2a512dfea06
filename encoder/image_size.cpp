#include "encoder/image_size.h"

#include "audio/audio_track.h"

namespace zepra {

std::uint64_t imageBytesNeeded(std::uint64_t playerBytes, std::uint64_t streamBytes,
                               std::uint32_t framesEncoded, std::uint32_t playbackStep,
                               std::size_t audioSamples) {
  const std::uint32_t blocks = audioTrailerBlocks(audioSamples, framesEncoded, playbackStep);
  return playerBytes + streamBytes + audioTrailerBytes(blocks);
}

}  // namespace zepra
