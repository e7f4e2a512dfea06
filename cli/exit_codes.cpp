#include "cli/exit_codes.h"

#include "job/conversion_job.h"

namespace zepra::cli {

int exitCodeForResult(int result, bool cancelled) {
  if (cancelled) return kExitCancelled;
  switch (result) {
    case kJobOk:
      return kExitOk;
    case kJobBadOutputName:
    case kJobBadOptions:
    case kJobInputError:
    case kJobRunFailed:
    case kJobNoFrameCount:
    case kJobStreamFailed:
      return result;
    case kJobUnexpected:
    case kJobRomFailed:
    case kJobStreamOpenFailed:
    case kJobStreamSizeFailed:
    case kJobStreamReadFailed:
      return result - 990;
    default:
      return kExitUnknownResult;
  }
}

std::string describeResult(int result) {
  switch (result) {
    case kJobOk:
      return "the image was written";
    case kJobBadOutputName:
      return "the temporary stream file could not be used";
    case kJobBadOptions:
      return "the encoder refused a setting";
    case kJobInputError:
      return "the input could not be opened as a video with sound, or its format is not supported";
    case kJobRunFailed:
      return "decoding the input failed";
    case kJobNoFrameCount:
      return "the length of the input could not be found";
    case kJobStreamFailed:
      return "the temporary stream file could not be created, written or completed";
    case kJobUnexpected:
      return "an unexpected error stopped the conversion";
    case kJobRomFailed:
      return "the cartridge image could not be written";
    case kJobStreamOpenFailed:
      return "the temporary stream file could not be opened for reading";
    case kJobStreamSizeFailed:
      return "the size of the temporary stream file could not be read";
    case kJobStreamReadFailed:
      return "the temporary stream file could not be read back";
    default:
      return "the conversion failed with an unknown result";
  }
}

}  // namespace zepra::cli
