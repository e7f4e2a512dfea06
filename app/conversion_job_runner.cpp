#include "app/main_dialog.h"

namespace zepra {

JobRunner conversionJobRunner() {
  return [](const ConversionJob& job, CancelSource& cancel) { return runConversionJob(job, cancel); };
}

CartridgeRunner cartridgeJobRunner() {
  return [](const ConversionJob& job, std::span<const CartridgeInput> videos, CancelSource& cancel) {
    return runCartridgeJob(job, videos, cancel);
  };
}

}  // namespace zepra
