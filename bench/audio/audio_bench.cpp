// Throughput of the sound path: ten minutes of 44.1 kHz stereo (the same
// bytes also read as 48 and 11.025 kHz) fed in 4096-byte buffers as a
// decoder delivers them, against references measured in the same run: a copy
// of the same bytes, and a naive mixdown that only averages the channels (no
// resampling). Prints the ratios at the end.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <vector>

#include "audio/audio_track.h"

namespace {

using zepra::AudioTrack;
using zepra::kAudioSampleRate;

constexpr std::uint32_t kInputRate = 44100;
constexpr int kMinutes = 10;
constexpr std::size_t kBufferBytes = 4096;
constexpr int kPassSeconds = 10;  // one pass of distinct sound, repeated to fill ten minutes
constexpr int kPasses = kMinutes * 60 / kPassSeconds;

zepra::WaveFormatEx stereo16(std::uint32_t rate) {
  zepra::WaveFormatEx format;
  format.nChannels = 2;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nSamplesPerSec = rate;
  format.nAvgBytesPerSec = rate * 4;
  return format;
}

const std::vector<std::uint8_t>& passBytes() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> out;
    const std::uint32_t frames = kInputRate * kPassSeconds;
    for (std::uint32_t i = 0; i < frames; ++i) {
      const double t = static_cast<double>(i) / kInputRate;
      const double phase = 2 * std::numbers::pi * t;
      const auto left = static_cast<std::int16_t>(12000 * std::sin(440 * phase));
      const auto right = static_cast<std::int16_t>(9000 * std::sin(660 * phase));
      for (std::int16_t s : {left, right}) {
        out.push_back(static_cast<std::uint8_t>(s & 0xFF));
        out.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
      }
    }
    return out;
  }();
  return bytes;
}

constexpr std::size_t kTotalInputBytes = std::size_t{kInputRate} * 4 * 60 * kMinutes;

template <typename Consume>
void feedTenMinutes(Consume consume) {
  const auto& bytes = passBytes();
  for (int pass = 0; pass < kPasses; ++pass) {
    for (std::size_t offset = 0; offset < bytes.size(); offset += kBufferBytes) {
      consume(bytes.data() + offset, std::min(kBufferBytes, bytes.size() - offset));
    }
  }
}

void setBytes(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void copyInputReference(benchmark::State& state) {
  std::vector<std::uint8_t> out(kTotalInputBytes);
  for (auto _ : state) {
    std::size_t at = 0;
    feedTenMinutes([&](const std::uint8_t* data, std::size_t length) {
      std::memcpy(out.data() + at, data, length);
      at += length;
    });
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  setBytes(state, kTotalInputBytes);
}

void mixdownReference(benchmark::State& state) {
  std::vector<std::int16_t> out(kTotalInputBytes / 4);
  for (auto _ : state) {
    std::size_t at = 0;
    feedTenMinutes([&](const std::uint8_t* data, std::size_t length) {
      for (std::size_t i = 0; i + 4 <= length; i += 4) {
        std::int16_t left, right;
        std::memcpy(&left, data + i, 2);
        std::memcpy(&right, data + i + 2, 2);
        out[at++] = static_cast<std::int16_t>((left + right) / 2);
      }
    });
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  setBytes(state, kTotalInputBytes);
}

void addAudioBuffer(benchmark::State& state) {
  for (auto _ : state) {
    AudioTrack track;
    track.acceptAudioFormat(stereo16(static_cast<std::uint32_t>(state.range(0))));
    track.reset();
    feedTenMinutes([&](const std::uint8_t* data, std::size_t length) {
      track.addAudioBuffer(data, static_cast<std::uint32_t>(length));
    });
    benchmark::DoNotOptimize(track.samples().data());
  }
  setBytes(state, kTotalInputBytes);
}

// Ten minutes of converted sound, ready to encode.
std::vector<std::uint8_t> convertedBytes() {
  AudioTrack track;
  track.acceptAudioFormat(stereo16(kInputRate));
  feedTenMinutes([&](const std::uint8_t* data, std::size_t length) {
    track.addAudioBuffer(data, static_cast<std::uint32_t>(length));
  });
  const auto& samples = track.samples();
  std::vector<std::uint8_t> bytes(samples.size() * 2);
  std::memcpy(bytes.data(), samples.data(), bytes.size());
  return bytes;
}

void copySamplesReference(benchmark::State& state) {
  const auto bytes = convertedBytes();
  std::vector<std::uint8_t> out(bytes.size());
  for (auto _ : state) {
    std::memcpy(out.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  setBytes(state, bytes.size());
}

void normalizeAndEncode(benchmark::State& state) {
  const auto bytes = convertedBytes();
  AudioTrack track;
  zepra::WaveFormatEx mono = stereo16(kAudioSampleRate);
  mono.nChannels = 1;
  mono.nBlockAlign = 2;
  track.acceptAudioFormat(mono);
  for (auto _ : state) {
    state.PauseTiming();
    track.reset();
    track.addAudioBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    state.ResumeTiming();
    track.normalizeAudio(100);
    std::uint32_t blocks = 0;
    const auto encoded = track.encodeAudio(0, 65536, blocks);
    benchmark::DoNotOptimize(encoded.data());
  }
  setBytes(state, bytes.size());
}

BENCHMARK(copyInputReference)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(mixdownReference)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(addAudioBuffer)
    ->Arg(44100)
    ->Arg(48000)
    ->Arg(11025)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(copySamplesReference)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(normalizeAndEncode)->Unit(benchmark::kMillisecond)->Iterations(3);

// Keeps every run's time so the ratios can be printed after the runs.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    // Processor time: on a shared machine it is far steadier than wall time.
    for (const Run& run : runs) seconds[run.benchmark_name()] = run.GetAdjustedCPUTime() / 1e3;
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.seconds;
  const auto get = [&](const char* name) {
    for (const auto& [key, value] : t) {
      if (key.rfind(name, 0) == 0) return value;
    }
    return 0.0;
  };
  // Minutes of sound that the same bytes hold at each input rate.
  const auto minutes = [](double rate) { return kTotalInputBytes / 4.0 / rate / 60; };
  const double copy = get("copyInputReference"), mixdown = get("mixdownReference");
  std::printf("\nprocessor time, 105.8 MB of 16-bit stereo in 4096-byte buffers\n");
  std::printf("%-34s %14s %10s %10s\n", "", "s per min sound", "x copy", "x mixdown");
  for (double rate : {44100.0, 48000.0, 11025.0}) {
    const std::string name = "addAudioBuffer/" + std::to_string(static_cast<int>(rate));
    const double s = get(name.c_str());
    std::printf("%-34s %14.4f %10.2f %10.2f\n", name.c_str(), s / minutes(rate), s / copy,
                s / mixdown);
  }
  std::printf("%-34s %14.4f %10.2f %10.2f\n", "mixdownReference (44100)", mixdown / minutes(44100),
              mixdown / copy, 1.0);
  const double encode = get("normalizeAndEncode"), samples = get("copySamplesReference");
  std::printf("%-34s %14.4f %10.2f %10s\n", "normalizeAndEncode (x sample copy)",
              encode / minutes(44100), encode / samples, "");
  benchmark::Shutdown();
  return 0;
}
