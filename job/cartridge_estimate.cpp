#include "job/cartridge_estimate.h"

#include <algorithm>
#include <cmath>

#include "job/cartridge_layout.h"
#include "job/image_size_range.h"
#include "platform/job_state.h"
#include "player/player_image.h"

namespace zepra {

namespace {

// Whether videos of these shapes, each `scale` times as long, make a lowest
// image within imageBytes.
bool fitsAtScale(std::span<const SizeEstimate> videos, std::uint64_t playerBytes, std::uint64_t imageBytes,
                 double scale) {
  std::vector<std::uint64_t> streams;
  for (const SizeEstimate& video : videos) {
    StreamShape shape = video.shape;
    shape.audioSamples = 0;  // the sound then ends with the video
    shape.frames = static_cast<std::uint32_t>(std::min(std::floor(shape.frames * scale), double{UINT32_MAX}));
    streams.push_back(unpaddedImageBytes(0, shape, smallestFrameBytes(shape)));
  }
  return cartridgeImageBytes(playerBytes, streams) <= imageBytes;
}

}  // namespace

double longestFittingSeconds(std::span<const SizeEstimate> videos, std::uint64_t playerBytes,
                             std::uint64_t imageBytes) {
  double seconds = 0.0;
  for (const SizeEstimate& video : videos) seconds += video.durationSeconds;
  // A lone video's frames are counted exactly.
  if (videos.size() == 1) {
    StreamShape longest = videos.front().shape;
    longest.frames = longestFittingFrames(playerBytes, longest, imageBytes);
    return streamSeconds(longest);
  }
  if (seconds <= 0.0 || !fitsAtScale(videos, playerBytes, imageBytes, 0.0)) return 0.0;
  // The sound alone takes some kilobytes a second, so some scale fails.
  double low = 0.0, high = 1.0;
  while (fitsAtScale(videos, playerBytes, imageBytes, high) && high < 1e12) {
    low = high;
    high *= 2;
  }
  for (int i = 0; i < 60; ++i) {
    const double mid = (low + high) / 2;
    (fitsAtScale(videos, playerBytes, imageBytes, mid) ? low : high) = mid;
  }
  return seconds * low;
}

CartridgeEstimate combineEstimates(std::vector<SizeEstimate> videos, std::uint64_t playerBytes) {
  CartridgeEstimate c;
  c.playerBytes = playerBytes;
  c.directoryBytes = directoryBytes(videos.size());
  c.sampled = !videos.empty();
  std::vector<std::uint64_t> lowest, largest, likely;
  for (const SizeEstimate& video : videos) {
    c.durationSeconds += video.durationSeconds;
    c.frames += video.shape.frames;
    c.sampled = c.sampled && video.sampled;
    lowest.push_back(video.streamBytesLowest);
    largest.push_back(video.streamBytesMax);
    likely.push_back(video.streamBytesLikely);
  }
  c.imageBytesLowest = paddedImageBytes(cartridgeImageBytes(playerBytes, lowest));
  c.imageBytesMax = paddedImageBytes(cartridgeImageBytes(playerBytes, largest));
  c.imageBytesLikely = paddedImageBytes(cartridgeImageBytes(playerBytes, likely));
  c.cartridgeLikely = smallestCartridgeFor(c.imageBytesLikely);
  c.cartridgeMax = smallestCartridgeFor(c.imageBytesMax);
  c.longestFittingSeconds = longestFittingSeconds(videos, playerBytes, kCartridgeSizes.back());
  c.videos = std::move(videos);
  return c;
}

std::optional<CartridgeEstimate> estimateCartridgeSize(const ConversionJob& job,
                                                       std::span<const CartridgeInput> inputs, EstimateDepth depth,
                                                       const DecodingGraphFactory& makeGraph, int* failure,
                                                       const CancelSource* cancel) {
  if (const std::string problem = videoCountProblem(inputs.size()); !problem.empty()) {
    setLastErrorText(problem);
    if (failure != nullptr) *failure = kJobRomFailed;
    return std::nullopt;
  }
  std::vector<SizeEstimate> videos;
  for (const CartridgeInput& input : inputs) {
    ConversionJob one = job;
    one.inputPath = input.inputPath;
    std::optional<SizeEstimate> estimate = estimateImageSize(one, depth, makeGraph, failure, cancel);
    if (!estimate) {
      const std::string detail = lastErrorText();
      setLastErrorText("\"" + input.inputPath + "\": " + (detail.empty() ? "no estimate" : detail));
      return std::nullopt;
    }
    videos.push_back(*estimate);
  }
  return combineEstimates(std::move(videos), playerImage().size());
}

}  // namespace zepra
