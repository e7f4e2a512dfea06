#pragma once
// What a whole cartridge will weigh before it is converted: each video's
// estimate (job/size_estimate.h) and the image they make together, the player
// once, the menu's directory, every stream and the padding of the whole.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "job/cartridge_job.h"
#include "job/size_estimate.h"

namespace zepra {

struct CartridgeEstimate {
  // One per input, in menu order; each as if that video were alone.
  std::vector<SizeEstimate> videos;
  std::uint64_t playerBytes = 0;
  std::uint64_t directoryBytes = 0;  // 0 for one video
  double durationSeconds = 0.0;      // all the videos together
  std::uint64_t frames = 0;          // all the videos' frames after the reduction
  // Sizes of the whole output file, padding included.
  std::uint64_t imageBytesLowest = 0;
  std::uint64_t imageBytesMax = 0;
  std::uint64_t imageBytesLikely = 0;
  bool sampled = false;  // every video's likely size comes from a sample
  // The smallest cartridge that holds the likely and the largest image; 0
  // when none does.
  std::uint64_t cartridgeLikely = 0;
  std::uint64_t cartridgeMax = 0;
  // The longest the videos could last together, their lengths in the same
  // proportions, for the lowest image to fit the largest cartridge.
  double longestFittingSeconds = 0.0;
};

// The whole cartridge from the estimates of its videos (at least one). With
// a target size (fitBytes, several videos) each video's largest and likely
// stream and its bitrate are what the target's sharing gives it, as the
// cartridge job shares it: a video gets its share of what the streams before
// it leave, so its largest is its share when they take their least, and the
// whole image never passes the target. Each video's estimate then needs what
// its frames take unhindered (frameBytesSampled, from a two-pass sample).
CartridgeEstimate combineEstimates(std::vector<SizeEstimate> videos, std::uint64_t playerBytes,
                                   std::uint64_t fitBytes = 0);

// Why videos of this estimate cannot make one image within the largest
// cartridge, or within fitBytes when not 0, in the words the job refuses them
// with; nothing when their lowest image fits.
std::optional<std::string> cartridgeNeverFitsText(const CartridgeEstimate& estimate, std::uint64_t fitBytes);

// The longest the videos could last together, their lengths in the same
// proportions, for their lowest image to stay within imageBytes.
double longestFittingSeconds(std::span<const SizeEstimate> videos, std::uint64_t playerBytes,
                             std::uint64_t imageBytes);

// Estimates every input with the settings of `job` (its inputPath is not
// used), one after the other; several are estimated as the cartridge job
// converts them (key frames, two passes under a target shared among them). Nothing, with lastErrorText naming the input
// and the fault, when an input cannot be read or there are no inputs or
// more than a menu holds; `failure` (when given) receives the job's result
// code for it. Nothing too when cancel asks it to stop. Writes no file but
// temporary ones it removes.
std::optional<CartridgeEstimate> estimateCartridgeSize(const ConversionJob& job,
                                                       std::span<const CartridgeInput> inputs, EstimateDepth depth,
                                                       const DecodingGraphFactory& makeGraph = createDecodingGraph,
                                                       int* failure = nullptr, const CancelSource* cancel = nullptr);

}  // namespace zepra
