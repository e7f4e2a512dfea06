#include "app/main_dialog.h"

namespace zepra {

JobRunner conversionJobRunner() {
  return [](const ConversionJob& job, CancelSource& cancel) { return runConversionJob(job, cancel); };
}

}  // namespace zepra
