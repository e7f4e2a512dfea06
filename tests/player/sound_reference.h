#pragma once
// The sound a stream's trailer should make, for the emulator tests: encoding
// as the converter does, decoding as the console should, and comparing what
// the emulator played against it.

#include <cstdint>
#include <vector>

#include "tests/player/stream_builder.h"

namespace zepra::test {

inline constexpr int kBlockBytes = 176;
inline constexpr int kBlockSamples = 352;

// Encodes 16-bit samples as the converter does: low nibble first, padded
// with encoded silence to whole blocks plus one.
Bytes encodeTrailer(const std::vector<std::int16_t>& samples);

// What the console should play: each predictor shifted right by 2.
std::vector<std::int8_t> decodeTrailer(const Bytes& codes, int* maxStepIndex = nullptr);

// A tone whose loudness swells and fades, with a full-scale square burst
// (half period in samples); a fast one drives the step index to its top.
std::vector<std::int16_t> testSound(int samples, int burstHalfPeriod, double toneHz = 330);

// Normalised correlation of `got` against `want` (both at 32768 Hz), at the
// best lag within `maxLag` samples.
double bestCorrelation(const std::vector<double>& got, const std::vector<double>& want, int maxLag, int* lagOut);

// The hardware holds each sample for 798 cycles: 21024 Hz seen at 32768 Hz.
std::vector<double> atEmulatorRate(const std::vector<std::int8_t>& samples, std::size_t count);

std::vector<double> withoutMean(const std::vector<std::int16_t>& samples);

}  // namespace zepra::test
