#pragma once
// The running state of the 4-bit adaptive differential code. The encoder
// picks each code from the difference to its prediction and then applies the
// code with the decoder's own step, so its predictor is exactly the sample
// the console player will reconstruct.

#include <algorithm>
#include <cstdint>

#include "format/adpcm_tables.h"

namespace zepra {

struct AdpcmCoder {
  std::int32_t adpcmPredictor = 0;  // the predicted 10-bit sample, within [-512, 511]
  std::int32_t adpcmStepIndex = 0;  // index into kAdpcmStepTable, within [0, 48]

  // Encodes one 16-bit sample (reduced to its top 10 bits) into a code and
  // advances the state. A difference of 0 gives the sign bit.
  int encodeAdpcmSample(std::int16_t x) {
    std::int32_t d = (x >> 6) - adpcmPredictor;
    int code = 0;
    if (d <= 0) {
      code = 8;
      d = -d;
    }
    const std::int32_t q = d / (kAdpcmStepTable[adpcmStepIndex] >> 3);
    if (q >= 16) {
      code |= 7;
    } else if (q >= 1) {
      code |= (q - 1) >> 1;
    }
    adpcmUpdate(code);
    return code;
  }

  // The decoder's step: moves the predictor by the code's share of the
  // current step and the step index by the code's adjustment.
  void adpcmUpdate(int code) {
    const std::int32_t delta = kAdpcmStepTable[adpcmStepIndex] * kAdpcmMultiplier[code] / 8;
    adpcmPredictor = std::clamp(adpcmPredictor + delta, std::int32_t{kAdpcmPredictorMin},
                                std::int32_t{kAdpcmPredictorMax});
    adpcmStepIndex = std::clamp(adpcmStepIndex + kAdpcmIndexAdjustment[code], std::int32_t{0},
                                std::int32_t{kAdpcmStepCount - 1});
  }
};

}  // namespace zepra
