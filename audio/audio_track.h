#pragma once
// The sound of one job: decoded PCM buffers in, converted to 21024 Hz mono
// as they arrive, and at the end normalised and encoded into the stream's
// audio trailer. Owned by the StreamEncoder; called from the audio decoding
// thread (intake) and from the worker thread (reset, encoding).

#include <cstdint>
#include <vector>

#include "encoder/media_formats.h"

namespace zepra {

inline constexpr std::uint32_t kAudioSampleRate = 21024;   // Hz
inline constexpr std::uint32_t kAudioBlockSamples = 352;   // one display refresh
inline constexpr std::uint32_t kAudioBlockBytes = 176;     // 4-bit ADPCM

class AudioTrack {
 public:
  AudioTrack();
  ~AudioTrack();
  AudioTrack(const AudioTrack&) = delete;
  AudioTrack& operator=(const AudioTrack&) = delete;

  // False for a format the intake cannot convert.
  bool acceptAudioFormat(const WaveFormatEx& format);
  // Start of a stream: the resampler and the collected samples start afresh.
  void reset();
  // Converts one buffer of interleaved PCM frames and appends the samples.
  void addAudioBuffer(const std::uint8_t* data, std::uint32_t length);

  // Scales the collected samples so the loudest reaches percent of full scale.
  void normalizeAudio(int percent);
  // Encodes the collected sound into blockCount blocks of kAudioBlockBytes,
  // enough for the longer of the sound and framesEncoded frames played at
  // playbackStep (16.16 frames per refresh), plus one.
  std::vector<std::uint8_t> encodeAudio(std::uint32_t framesEncoded, std::uint32_t playbackStep,
                                        std::uint32_t& blockCount);

  const std::vector<std::int16_t>& samples() const;

 private:
  struct State;
  State* state_;
};

}  // namespace zepra
