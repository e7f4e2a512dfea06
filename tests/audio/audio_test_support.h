#pragma once
// Builders of PCM buffers and a driver that feeds them through an AudioTrack
// the way the decoder does, cut into buffers of chosen sizes.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "audio/audio_track.h"

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

}  // namespace zepra::test
