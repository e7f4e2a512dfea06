#include "app/main_dialog.h"

namespace zepra {

JobRunner conversionJobRunner() {
  return [](const ConversionJob& job) { return runConversionJob(job); };
}

}  // namespace zepra
