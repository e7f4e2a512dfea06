// Stands in for the sound unit while it is not part of the build: no sound
// is collected, and the trailer is encoded silence as long as the video plus
// one block, which is what the real track gives a job without sound.

#include "audio/audio_track.h"

namespace zepra {

struct AudioTrack::State {};

AudioTrack::AudioTrack() : state_(new State) {}
AudioTrack::~AudioTrack() { delete state_; }
bool AudioTrack::acceptAudioFormat(const WaveFormatEx& format) { return format.wFormatTag == 1; }
void AudioTrack::reset() {}
void AudioTrack::addAudioBuffer(const std::uint8_t*, std::uint32_t) {}
void AudioTrack::normalizeAudio(int) {}
std::vector<std::uint8_t> AudioTrack::encodeAudio(std::uint32_t framesEncoded,
                                                  std::uint32_t playbackStep,
                                                  std::uint32_t& blockCount) {
  blockCount = static_cast<std::uint32_t>((std::uint64_t{framesEncoded} << 16) / playbackStep) + 1;
  return std::vector<std::uint8_t>(std::size_t{blockCount} * kAudioBlockBytes, 0x08);
}
const std::vector<std::int16_t>& AudioTrack::samples() const {
  static const std::vector<std::int16_t> none;
  return none;
}

}  // namespace zepra
