// Intake of decoded PCM: format acceptance, the sample readers and the
// resampler to 21024 Hz mono.

#include <algorithm>
#include <cstddef>

#include "audio/audio_track.h"

namespace zepra {

namespace {

// One output sample's fraction of an input frame, per resampler unit.
constexpr double kUnit = 1.0 / kAudioSampleRate;

std::int32_t centred8(std::uint8_t value) { return std::int32_t{value} - 128; }

std::int32_t little16(const std::uint8_t* bytes) {
  return static_cast<std::int16_t>(bytes[0] | (bytes[1] << 8));
}

}  // namespace

std::int16_t AudioTrack::readPcm8Mono(const std::uint8_t* buffer, std::uint32_t frame, int) {
  return static_cast<std::int16_t>(centred8(buffer[frame]) * 256);
}

std::int16_t AudioTrack::readPcm8Stereo(const std::uint8_t* buffer, std::uint32_t frame,
                                        int channel) {
  const std::uint8_t* bytes = buffer + 2 * std::size_t{frame};
  if (channel < 2) return static_cast<std::int16_t>(centred8(bytes[channel]) * 256);
  return static_cast<std::int16_t>((centred8(bytes[0]) + centred8(bytes[1])) / 2 * 256);
}

std::int16_t AudioTrack::readPcm16Mono(const std::uint8_t* buffer, std::uint32_t frame, int) {
  return static_cast<std::int16_t>(little16(buffer + 2 * std::size_t{frame}));
}

std::int16_t AudioTrack::readPcm16Stereo(const std::uint8_t* buffer, std::uint32_t frame,
                                         int channel) {
  const std::uint8_t* bytes = buffer + 4 * std::size_t{frame};
  if (channel < 2) return static_cast<std::int16_t>(little16(bytes + 2 * channel));
  return static_cast<std::int16_t>((little16(bytes) + little16(bytes + 2)) / 2);
}

bool AudioTrack::acceptAudioFormat(const WaveFormatEx& format) {
  inputSampleRate = format.nSamplesPerSec;
  inputBlockAlign = format.nBlockAlign;
  if (format.wFormatTag != kWaveFormatPcm) return false;

  SampleReader reader = nullptr;
  std::uint32_t frameBytes = 0;
  switch (format.nChannels + format.wBitsPerSample) {
    case 1 + 8: reader = readPcm8Mono; frameBytes = 1; break;
    case 2 + 8: reader = readPcm8Stereo; frameBytes = 2; break;
    case 1 + 16: reader = readPcm16Mono; frameBytes = 2; break;
    case 2 + 16: reader = readPcm16Stereo; frameBytes = 4; break;
    default: return false;
  }
  // A rate of 0 would divide by zero; a frame size other than the layout's
  // would make the readers miss the frames or run past the buffer's end.
  if (inputSampleRate == 0 || inputSampleRate > kMaxInputSampleRate ||
      inputBlockAlign != frameBytes) {
    return false;
  }
  sampleReader = reader;
  readerFrameBytes = frameBytes;
  return true;
}

bool AudioTrack::formatUsable() const {
  return sampleReader != nullptr && inputSampleRate != 0 &&
         inputSampleRate <= kMaxInputSampleRate && inputBlockAlign == readerFrameBytes;
}

void AudioTrack::reset(double expectedSeconds) {
  audioSamples.clear();
  // Decoded sound often runs a little past the picture: an eighth and two
  // seconds more.
  const double seconds = std::min(expectedSeconds, kMaxReservedSeconds) * 1.125 + 2.0;
  if (seconds > 2.0) audioSamples.reserve(static_cast<std::size_t>(seconds * kAudioSampleRate));
  resamplePhase = 0;
  downsampleSum = 0.0;
  lastSample = 0;
}

std::int16_t AudioTrack::readSample(std::uint32_t frame, int channel) const {
  if (currentAudioBuffer == nullptr) return 0;
  return sampleReader(currentAudioBuffer, frame, channel);
}

void AudioTrack::addAudioBuffer(const std::uint8_t* data, std::uint32_t length) {
  if (data == nullptr || !formatUsable()) return;
  // A buffer shorter than one frame yields nothing and leaves the resampler
  // as it was.
  const std::uint32_t frames = length / inputBlockAlign;
  for (std::uint32_t done = 0; done < frames;) {
    const std::uint32_t piece = std::min(frames - done, kMaxPieceFrames);
    currentAudioBuffer = data + std::size_t{done} * inputBlockAlign;
    const std::uint32_t n =
        inputSampleRate > kAudioSampleRate ? downsample(piece) : upsample(piece);
    appendScratch(n);
    done += piece;
  }
  currentAudioBuffer = nullptr;  // the buffer belongs to the decoder
}

// Area-weighted averaging: every input frame covers 21024 units, every
// output sample gathers inputSampleRate units. The phase stays in [0, R).
std::uint32_t AudioTrack::downsample(std::uint32_t frames) {
  const std::uint32_t rate = inputSampleRate;
  std::uint32_t p = static_cast<std::uint32_t>(resamplePhase);
  const std::uint32_t n = (frames * kAudioSampleRate + p) / rate;
  reserveScratch(n);
  std::int16_t* out = resampleScratch.data();
  double s = downsampleSum;
  std::uint32_t k = 0;
  for (std::uint32_t i = 0; i < frames; ++i) {
    const std::int32_t x = readSample(i, 2);
    if (p + kAudioSampleRate < rate) {
      s += x * static_cast<double>(kAudioSampleRate);
      p += kAudioSampleRate;
    } else {
      // This frame completes an output; what is left of it starts the next.
      out[k++] = static_cast<std::int16_t>(
          static_cast<std::int32_t>((s + x * static_cast<double>(rate - p)) / rate));
      p = p + kAudioSampleRate - rate;
      s = x * static_cast<double>(p);
    }
  }
  downsampleSum = s;
  resamplePhase = static_cast<std::int32_t>(p);
  return k;
}

// Linear interpolation. An output is produced only once both frames around
// it are at hand, so outputs after the piece's last frame wait for the next
// buffer and are interpolated from lastSample and its first frame: the
// phase stays in (-21024, 0] between buffers, and nothing outside the
// buffer is read. The fraction is taken from the phase's position within
// its frame, so it does not depend on where the buffers were cut.
std::uint32_t AudioTrack::upsample(std::uint32_t frames) {
  const std::uint32_t rate = inputSampleRate;
  std::int32_t p = resamplePhase;
  const std::uint32_t n =
      ((frames - 1) * kAudioSampleRate + static_cast<std::uint32_t>(-p)) / rate + 1;
  reserveScratch(n);
  std::int16_t* out = resampleScratch.data();
  constexpr auto kFrame = static_cast<std::int32_t>(kAudioSampleRate);
  for (std::uint32_t k = 0; k < n; ++k) {
    std::int32_t base;
    std::int32_t next;
    std::int32_t within;
    if (p < 0) {
      base = lastSample;
      next = readSample(0, 2);
      within = p + kFrame;
    } else {
      const auto ip = static_cast<std::uint32_t>(p / kFrame);
      within = p % kFrame;
      base = readSample(ip, 2);
      next = ip + 1 < frames ? readSample(ip + 1, 2) : base;  // within is 0 there
    }
    const double y = base + (next - base) * (within * kUnit);
    out[k] = static_cast<std::int16_t>(static_cast<std::int32_t>(y));
    p += static_cast<std::int32_t>(rate);
  }
  p -= static_cast<std::int32_t>(frames * kAudioSampleRate);
  resamplePhase = p;
  if (p < 0) lastSample = readSample(frames - 1, 2);
  return n;
}

void AudioTrack::reserveScratch(std::uint32_t samples) {
  if (resampleScratch.size() >= samples) return;
  resampleScratch = std::vector<std::int16_t>((std::size_t{samples} + 15) & ~std::size_t{15});
}

void AudioTrack::appendScratch(std::uint32_t samples) {
  const std::size_t size = audioSamples.size();
  if (audioSamples.capacity() - size < samples) {
    audioSamples.reserve(size + std::max<std::size_t>(size, samples));
  }
  audioSamples.insert(audioSamples.end(), resampleScratch.begin(),
                      resampleScratch.begin() + samples);
}

}  // namespace zepra
