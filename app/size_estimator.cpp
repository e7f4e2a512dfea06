// The dialog's size figures from the job library: the same estimate and the
// same target arithmetic the job itself uses.

#include <algorithm>

#include "app/estimate_runner.h"
#include "job/cartridge_estimate.h"
#include "job/image_size_range.h"
#include "job/settings_model.h"
#include "platform/job_state.h"

namespace zepra {

namespace {

// One video: its estimate, and with a target what the target gives it.
EstimateAnswer videoAnswer(ConversionJob job, const std::string& input, EstimateDepth depth,
                           const CancelSource& cancel) {
  EstimateAnswer answer;
  job.inputPath = input;
  answer.estimate = estimateImageSize(job, depth, createDecodingGraph, nullptr, &cancel);
  if (!answer.estimate) {
    answer.problem = lastErrorText();
    return answer;
  }
  if (job.fitBytes != 0) {
    const TargetFigures target = targetFigures(answer.estimate->shape, job.fitBytes);
    answer.targetBitrate = target.bitrate;
    answer.targetImageBytes = target.imageBytes;
    answer.targetFilled = target.filled;
    answer.targetRefusal = target.refusal.value_or(std::string());
  }
  return answer;
}

// Several videos on one cartridge: the totals of the whole image.
EstimateAnswer cartridgeAnswer(const ConversionJob& job, const std::vector<std::string>& inputs, EstimateDepth depth,
                               const CancelSource& cancel) {
  EstimateAnswer answer;
  std::vector<CartridgeInput> videos;
  for (const std::string& input : inputs) videos.push_back({input, {}});
  const std::optional<CartridgeEstimate> cartridge =
      estimateCartridgeSize(job, videos, depth, createDecodingGraph, nullptr, &cancel);
  if (!cartridge) {
    answer.problem = lastErrorText();
    return answer;
  }
  SizeEstimate total;
  total.durationSeconds = cartridge->durationSeconds;
  total.imageBytesLowest = cartridge->imageBytesLowest;
  total.imageBytesMax = cartridge->imageBytesMax;
  total.imageBytesLikely = cartridge->imageBytesLikely;
  total.sampled = cartridge->sampled;
  total.longestFittingSeconds = cartridge->longestFittingSeconds;
  answer.estimate = total;
  if (job.fitBytes != 0) {
    // The figures the cartridge job's sharing gives, and its refusal.
    answer.targetImageBytes = cartridge->imageBytesMax;
    answer.targetFilled = cartridge->imageBytesMax >= usableImageBytes(job.fitBytes);
    answer.targetBitrate = kBitrateRange.max;
    for (const SizeEstimate& video : cartridge->videos) {
      answer.targetBitrate = std::min(answer.targetBitrate, video.bitrate);
      answer.targetBitrateHighest = std::max(answer.targetBitrateHighest, video.bitrate);
    }
    answer.targetRefusal = cartridgeNeverFitsText(*cartridge, job.fitBytes).value_or(std::string());
  }
  return answer;
}

}  // namespace

SizeEstimator jobSizeEstimator() {
  return [](const EstimateRequest& request, EstimateDepth depth, const CancelSource& cancel) {
    if (request.inputs.size() == 1) return videoAnswer(request.job, request.inputs.front(), depth, cancel);
    return cartridgeAnswer(request.job, request.inputs, depth, cancel);
  };
}

}  // namespace zepra
