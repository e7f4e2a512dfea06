#include "input/graph_errors.h"

extern "C" {
#include <libavutil/error.h>
}

#include "platform/job_state.h"

namespace zepra {

std::string errorText(int averror) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(averror, text, sizeof text);
  return text;
}

void recordErrorText(int averror) { setLastErrorText(errorText(averror)); }

}  // namespace zepra
