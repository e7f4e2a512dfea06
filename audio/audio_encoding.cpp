// End of the job: peak normalisation and the 4-bit encoding of the collected
// sound into whole display-refresh blocks.

#include <algorithm>
#include <cstddef>

#include "audio/audio_track.h"
#include "platform/job_state.h"

namespace zepra {

std::uint32_t audioTrailerBlocks(std::size_t samples, std::uint32_t framesEncoded,
                                 std::uint32_t playbackStep) {
  const std::size_t used = (samples + 1) / 2;
  const std::size_t dataBlocks = (2 * used + kAudioBlockSamples - 1) / kAudioBlockSamples + 1;
  // The video's length in display refreshes. Without a frame rate there is
  // no video length to cover, only the sound.
  std::uint32_t refreshes = 0;
  if (playbackStep != 0) {
    refreshes = static_cast<std::uint32_t>(std::uint64_t{framesEncoded} * 65536 / playbackStep);
  }
  const std::size_t videoBlocks = std::size_t{refreshes} + 1;
  return static_cast<std::uint32_t>(std::max(dataBlocks, videoBlocks));
}

std::uint64_t audioTrailerBytes(std::uint32_t blocks) {
  return sizeof(std::uint32_t) + std::uint64_t{blocks} * kAudioBlockBytes;
}

void AudioTrack::normalizeAudio(int percent) {
  sendStatus("Closing file...     ...");
  if (audioSamples.empty()) return;

  // The largest gain that keeps every sample within 16 bits, found from the
  // extremes (the division is monotonic, so this equals the minimum of the
  // per-sample gains).
  const auto [low, high] = std::minmax_element(audioSamples.begin(), audioSamples.end());
  double gain = 65536.0;
  if (*high > 0) gain = std::min(gain, 32767.0 / *high);
  if (*low < 0) gain = std::min(gain, -32768.0 / *low);
  if (gain == 65536.0) return;               // silence
  if (gain == 1.0 && percent == 100) return;  // already at full scale

  const double factor = percent * gain * 0.01;
  for (std::int16_t& s : audioSamples) {
    s = static_cast<std::int16_t>(std::clamp(s * factor, -32768.0, 32767.0));
  }
}

std::vector<std::uint8_t> AudioTrack::encodeAudio(std::uint32_t framesEncoded,
                                                  std::uint32_t playbackStep,
                                                  std::uint32_t& blockCount) {
  sendStatus("Finalizing.....");
  adpcm = AdpcmCoder{};

  const std::size_t n = audioSamples.size();
  blockCount = audioTrailerBlocks(n, framesEncoded, playbackStep);

  std::vector<std::uint8_t> bytes(std::size_t{blockCount} * kAudioBlockBytes);
  const std::int16_t* s = audioSamples.data();
  std::size_t j = 0;
  for (; j < n / 2; ++j) {
    const int low = adpcm.encodeAdpcmSample(s[2 * j]);
    bytes[j] = static_cast<std::uint8_t>(low | (adpcm.encodeAdpcmSample(s[2 * j + 1]) << 4));
  }
  if (n % 2 != 0) {
    const int low = adpcm.encodeAdpcmSample(s[n - 1]);
    bytes[j++] = static_cast<std::uint8_t>(low | (adpcm.encodeAdpcmSample(0) << 4));
  }
  // Encoded silence to the end of the last block; the coder's state runs on.
  for (; j < bytes.size(); ++j) {
    const int low = adpcm.encodeAdpcmSample(0);
    bytes[j] = static_cast<std::uint8_t>(low | (adpcm.encodeAdpcmSample(0) << 4));
  }
  return bytes;
}

}  // namespace zepra
