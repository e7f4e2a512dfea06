#pragma once
// Builders of PCM buffers, a driver that feeds them through an AudioTrack
// the way the decoder does, cut into buffers of chosen sizes, and the
// console player's own decoding of what the track encodes.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "audio/audio_track.h"
#include "player/sound_decode.h"

namespace zepra::test {

inline WaveFormatEx pcmFormat(std::uint32_t rate, std::uint16_t channels, std::uint16_t bits) {
  WaveFormatEx format;
  format.wFormatTag = kWaveFormatPcm;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = bits;
  format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  return format;
}

// Interleaved 16-bit samples as little-endian bytes.
inline std::vector<std::uint8_t> pcm16(const std::vector<std::int16_t>& samples) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(samples.size() * 2);
  for (std::int16_t s : samples) {
    bytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
  }
  return bytes;
}

// `frames` frames of a sine wave, the same on every channel.
inline std::vector<std::int16_t> sine(double frequency, std::uint32_t rate, std::uint32_t frames,
                                      int channels, double amplitude) {
  std::vector<std::int16_t> samples;
  samples.reserve(std::size_t{frames} * channels);
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double v = amplitude * std::sin(2 * std::numbers::pi * frequency * i / rate);
    for (int c = 0; c < channels; ++c) samples.push_back(static_cast<std::int16_t>(v));
  }
  return samples;
}

// Feeds `bytes` in buffers of pieceFrames[k % size] frames and returns the
// collected samples.
inline std::vector<std::int16_t> convert(const WaveFormatEx& format,
                                         const std::vector<std::uint8_t>& bytes,
                                         const std::vector<std::uint32_t>& pieceFrames) {
  AudioTrack track;
  if (!track.acceptAudioFormat(format)) return {};
  track.reset();
  std::size_t offset = 0;
  for (std::size_t k = 0; offset < bytes.size(); ++k) {
    const std::size_t length = std::min<std::size_t>(
        std::size_t{pieceFrames[k % pieceFrames.size()]} * format.nBlockAlign,
        bytes.size() - offset);
    track.addAudioBuffer(bytes.data() + offset, static_cast<std::uint32_t>(length));
    offset += length;
  }
  return track.samples();
}

// The samples the console plays for `bytes` of encoded sound from the start
// of a pass: signed 8-bit, each the 10-bit predictor shifted right by 2.
inline std::vector<std::int8_t> playOnConsole(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::int8_t> samples(bytes.size() * 2);
  s32 predictor = 0, stepIndex = 0;
  decodeAdpcm(samples.data(), bytes.data(), static_cast<u32>(bytes.size()), &predictor, &stepIndex);
  return samples;
}

}  // namespace zepra::test
