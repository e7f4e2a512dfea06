// The dialog's size figures from the job library: the same estimate and the
// same target arithmetic the job itself uses.

#include "app/estimate_runner.h"
#include "job/image_size_range.h"
#include "platform/job_state.h"
#include "player/player_image.h"

namespace zepra {

SizeEstimator jobSizeEstimator() {
  return [](const EstimateRequest& request, EstimateDepth depth, const CancelSource& cancel) {
    EstimateAnswer answer;
    if (request.inputs.size() != 1) {
      answer.problem = "Several videos are estimated together only when the cartridge is planned.";
      return answer;
    }
    ConversionJob job = request.job;
    job.inputPath = request.inputs.front();
    answer.estimate = estimateImageSize(job, depth, createDecodingGraph, &cancel);
    if (!answer.estimate) {
      answer.problem = lastErrorText();
      return answer;
    }
    if (job.fitBytes != 0) {
      const StreamShape& shape = answer.estimate->shape;
      const std::uint64_t player = playerImage().size();
      const std::uint64_t allowance = targetFrameAllowance(player, shape, job.fitBytes);
      answer.targetBitrate = bitrateWithin(shape, allowance);
      answer.targetImageBytes = paddedImageBytes(unpaddedImageBytes(player, shape, allowance));
      answer.targetFilled = allowance == frameBytesWithin(player, shape, job.fitBytes);
      if (std::optional<std::string> why = neverFitsText(player, shape, job.fitBytes, true))
        answer.targetRefusal = *why;
    }
    return answer;
  };
}

}  // namespace zepra
