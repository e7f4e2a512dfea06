#pragma once
// The one line beside the bitrate that tells what the image will weigh with
// the settings on screen, and whether a cartridge holds it.

#include <QString>

#include <cstdint>

#include "app/estimate_runner.h"

namespace zepra {

struct EstimateLine {
  QString text;
  bool error = false;  // the job would be refused: shown in the error colour
};

// The line for an answer to settings with this target size (0: none).
EstimateLine describeEstimate(const EstimateAnswer& answer, std::uint64_t fitBytes);

}  // namespace zepra
