#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <complex>
#include <cstring>

#include "tests/audio/audio_test_support.h"

namespace zepra {
namespace {

using test::convert;
using test::pcm16;
using test::pcmFormat;
using test::sine;

TEST(Resampler, ComputesKnownSignalsExactly) {
  struct Case {
    const char* name;
    std::uint32_t rate;
    std::vector<std::int16_t> input;
    std::vector<std::int16_t> output;
  };
  const Case cases[] = {
      // Twice the output rate: the mean of each pair, truncated toward zero.
      {"42048 Hz", 42048, {100, 200, 300, 500, -3, 0, 32767, 32767}, {150, 400, -1, 32767}},
      // Three times: the mean of each triple.
      {"63072 Hz", 63072, {3, 6, 9, -1, -1, -2, 5, 5}, {6, -1}},
      // Half the output rate: midpoints between frames. The output halfway
      // past the last frame waits for the next buffer.
      {"10512 Hz", 10512, {0, 100, 200, -200, 32767},
       {0, 50, 100, 150, 200, 0, -200, 16283, 32767}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(convert(pcmFormat(c.rate, 1, 16), pcm16(c.input), {1000}), c.output);
    EXPECT_EQ(convert(pcmFormat(c.rate, 1, 16), pcm16(c.input), {1}), c.output);
  }
}

// Level of the `frequency` component (amplitude of a sine) and the share of
// the signal's power that it carries.
struct Tone {
  double amplitude;
  double purity;
};

Tone measureTone(const std::vector<std::int16_t>& samples, double frequency) {
  std::complex<double> sum;
  double power = 0;
  for (std::size_t n = 0; n < samples.size(); ++n) {
    const double phase = 2 * std::numbers::pi * frequency * n / kAudioSampleRate;
    sum += static_cast<double>(samples[n]) * std::polar(1.0, -phase);
    power += static_cast<double>(samples[n]) * samples[n];
  }
  const double amplitude = 2 * std::abs(sum) / samples.size();
  return {amplitude, amplitude * amplitude / 2 / (power / samples.size())};
}

// Frequency from the count of rising zero crossings.
double crossingFrequency(const std::vector<std::int16_t>& samples) {
  int rises = 0;
  std::size_t first = 0, last = 0;
  for (std::size_t n = 1; n < samples.size(); ++n) {
    if (samples[n - 1] < 0 && samples[n] >= 0) {
      if (rises++ == 0) first = n;
      last = n;
    }
  }
  return (rises - 1) * static_cast<double>(kAudioSampleRate) / (last - first);
}

TEST(Resampler, KeepsFrequencyAndLevelOfASine) {
  constexpr double kAmplitude = 16000;
  for (std::uint32_t rate : {8000u, 11025u, 21024u, 22050u, 32000u, 44100u, 48000u}) {
    for (std::uint16_t channels : {1, 2}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
      const std::uint32_t frames = rate / 2;
      const auto out = convert(pcmFormat(rate, channels, 16),
                               pcm16(sine(1000, rate, frames, channels, kAmplitude)), {1024});
      EXPECT_NEAR(static_cast<double>(out.size()), frames * double{kAudioSampleRate} / rate, 2.0);
      EXPECT_NEAR(crossingFrequency(out), 1000.0, 2.0);
      const Tone tone = measureTone(out, 1000);
      // Linear interpolation passes a tone at sinc^2(f / R), about 0.95 at
      // 1 kHz from 8 kHz; averaging over one output sample at sinc(f / 21024).
      const auto sinc = [](double x) {
        return std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
      };
      const double response = rate < kAudioSampleRate ? std::pow(sinc(1000.0 / rate), 2)
                                                      : sinc(1000.0 / kAudioSampleRate);
      EXPECT_NEAR(tone.amplitude / kAmplitude, rate == kAudioSampleRate ? 1.0 : response, 0.005);
      EXPECT_GT(tone.purity, 0.995);
    }
  }
}

// Sine plus noise, so every output depends on the exact frames it covers.
std::vector<std::int16_t> busySignal(std::uint32_t rate, std::uint32_t frames, int channels) {
  auto samples = sine(440, rate, frames, channels, 12000);
  std::uint32_t seed = 12345;
  for (std::int16_t& s : samples) {
    seed = seed * 1664525u + 1013904223u;
    s = static_cast<std::int16_t>(s + static_cast<std::int32_t>(seed >> 20) - 2048);
  }
  return samples;
}

TEST(Resampler, GivesTheSameSamplesWhateverTheBufferSplit) {
  const std::vector<std::vector<std::uint32_t>> splits = {{1}, {2}, {7}, {1000, 1, 333}, {4096}};
  for (std::uint32_t rate : {8000u, 11025u, 16000u, 21024u, 22050u, 44100u, 48000u, 96000u}) {
    for (std::uint16_t channels : {1, 2}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
      const auto bytes = pcm16(busySignal(rate, 9000, channels));
      const auto whole = convert(pcmFormat(rate, channels, 16), bytes, {9000});
      ASSERT_FALSE(whole.empty());
      for (const auto& split : splits) {
        EXPECT_EQ(convert(pcmFormat(rate, channels, 16), bytes, split), whole);
      }
    }
  }
}

TEST(Resampler, SplitsBuffersBeyondThirtyTwoBitArithmetic) {
  // 21024 x 250000 does not fit in 32 bits.
  constexpr std::uint32_t kFrames = 250000;
  for (std::uint32_t rate : {11025u, 44100u}) {
    SCOPED_TRACE(rate);
    const auto bytes = pcm16(busySignal(rate, kFrames, 2));
    const auto whole = convert(pcmFormat(rate, 2, 16), bytes, {kFrames});
    EXPECT_EQ(whole, convert(pcmFormat(rate, 2, 16), bytes, {4096}));
    EXPECT_NEAR(static_cast<double>(whole.size()), kFrames * double{kAudioSampleRate} / rate, 2);
  }
}

TEST(Resampler, BufferShorterThanAFrameLeavesTheInterpolationAlone) {
  const auto format = pcmFormat(11025, 2, 16);
  const auto a = pcm16(busySignal(11025, 101, 2));
  const auto b = pcm16(busySignal(11025, 57, 2));
  std::vector<std::uint8_t> ab = a;
  ab.insert(ab.end(), b.begin(), b.end());
  const auto expected = convert(format, ab, {158});

  AudioTrack track;
  ASSERT_TRUE(track.acceptAudioFormat(format));
  track.addAudioBuffer(a.data(), static_cast<std::uint32_t>(a.size()));
  const std::uint8_t stray[3] = {0xFF, 0x7F, 0xFF};  // a loud partial frame
  track.addAudioBuffer(stray, sizeof stray);
  track.addAudioBuffer(b.data(), static_cast<std::uint32_t>(b.size()));
  EXPECT_EQ(track.samples(), expected);
}

// A buffer that ends exactly where readable memory ends: a read past its
// last byte faults.
class GuardedBuffer {
 public:
  GuardedBuffer() : page(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {
    memory = static_cast<std::uint8_t*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (memory != MAP_FAILED) mprotect(memory + page, page, PROT_NONE);
  }
  ~GuardedBuffer() {
    if (memory != MAP_FAILED) munmap(memory, 2 * page);
  }
  bool ready() const { return memory != MAP_FAILED; }
  const std::uint8_t* place(const std::uint8_t* bytes, std::size_t length) {
    std::uint8_t* start = memory + page - length;
    std::memcpy(start, bytes, length);
    return start;
  }

 private:
  std::size_t page;
  std::uint8_t* memory;
};

TEST(Resampler, NeverReadsPastTheBuffer) {
  GuardedBuffer guard;
  ASSERT_TRUE(guard.ready());
  for (std::uint32_t rate : {8000u, 11025u, 20000u, 21024u, 22050u}) {
    for (std::uint16_t channels : {1, 2}) {
      SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels");
      const auto format = pcmFormat(rate, channels, 16);
      const auto bytes = pcm16(busySignal(rate, 600, channels));
      AudioTrack track;
      ASSERT_TRUE(track.acceptAudioFormat(format));
      std::size_t offset = 0;
      for (std::uint32_t frames = 1; offset < bytes.size(); frames = frames % 13 + 1) {
        const std::size_t length = std::min<std::size_t>(frames * format.nBlockAlign,
                                                         bytes.size() - offset);
        track.addAudioBuffer(guard.place(bytes.data() + offset, length),
                             static_cast<std::uint32_t>(length));
        offset += length;
      }
      EXPECT_EQ(track.samples(), convert(format, bytes, {600}));
    }
  }
}

}  // namespace
}  // namespace zepra
