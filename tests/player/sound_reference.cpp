#include "tests/player/sound_reference.h"

#include <algorithm>
#include <cmath>

#include "audio/adpcm_coder.h"
#include "player/host/console_emulator.h"

namespace zepra::test {

Bytes encodeTrailer(const std::vector<std::int16_t>& samples) {
  AdpcmCoder coder;
  const std::size_t blocks = (samples.size() + kBlockSamples - 1) / kBlockSamples + 1;
  Bytes out;
  for (std::size_t i = 0; i < blocks * kBlockSamples; i += 2) {
    const std::int16_t a = i < samples.size() ? samples[i] : 0;
    const std::int16_t b = i + 1 < samples.size() ? samples[i + 1] : 0;
    const int low = coder.encodeAdpcmSample(a);
    out.push_back(static_cast<std::uint8_t>(low | coder.encodeAdpcmSample(b) << 4));
  }
  return out;
}

std::vector<std::int8_t> decodeTrailer(const Bytes& codes, int* maxStepIndex) {
  AdpcmCoder decoder;
  std::vector<std::int8_t> out;
  for (std::uint8_t byte : codes) {
    for (int code : {byte & 15, byte >> 4}) {
      decoder.adpcmUpdate(code);
      out.push_back(static_cast<std::int8_t>(decoder.adpcmPredictor >> 2));
      if (maxStepIndex) *maxStepIndex = std::max<int>(*maxStepIndex, decoder.adpcmStepIndex);
    }
  }
  return out;
}

std::vector<std::int16_t> testSound(int samples, int burstHalfPeriod, double toneHz) {
  std::vector<std::int16_t> out(samples);
  for (int i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i) / 21024;
    const double envelope = 0.5 - 0.5 * std::cos(2 * M_PI * t / (static_cast<double>(samples) / 21024));
    out[i] = static_cast<std::int16_t>(26000 * envelope * std::sin(2 * M_PI * toneHz * t));
    if (i > samples / 3 && i < samples / 3 + 1500) out[i] = (i / burstHalfPeriod) % 2 ? 32767 : -32768;
  }
  return out;
}

double bestCorrelation(const std::vector<double>& got, const std::vector<double>& want, int maxLag, int* lagOut) {
  double best = -1;
  for (int lag = 0; lag <= maxLag; ++lag) {
    double sxy = 0, sxx = 0, syy = 0;
    for (std::size_t i = 0; i < want.size() && i + lag < got.size(); ++i) {
      sxy += got[i + lag] * want[i];
      sxx += got[i + lag] * got[i + lag];
      syy += want[i] * want[i];
    }
    const double c = sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0;
    if (c > best) {
      best = c;
      *lagOut = lag;
    }
  }
  return best;
}

std::vector<double> atEmulatorRate(const std::vector<std::int8_t>& samples, std::size_t count) {
  std::vector<double> out;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t source = i * 21024 / kEmulatorSoundRate;
    out.push_back(source < samples.size() ? samples[source] : 0);
  }
  return out;
}

std::vector<double> withoutMean(const std::vector<std::int16_t>& samples) {
  double mean = 0;
  for (auto s : samples) mean += s;
  mean /= std::max<std::size_t>(samples.size(), 1);
  std::vector<double> out;
  for (auto s : samples) out.push_back(s - mean);
  return out;
}

}  // namespace zepra::test
