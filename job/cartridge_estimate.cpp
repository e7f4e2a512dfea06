#include "job/cartridge_estimate.h"

#include <algorithm>
#include <cmath>

#include "job/cartridge_layout.h"
#include "job/cartridge_share.h"
#include "job/size_text.h"
#include "job/image_size_range.h"
#include "job/rom_builder.h"
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

// Each video's largest and likely stream under a target, shared as the
// cartridge job shares it, one video after the other.
void shareTarget(std::vector<SizeEstimate>& videos, std::uint64_t playerBytes, std::uint64_t fitBytes) {
  std::vector<StreamShape> shapes;
  for (const SizeEstimate& video : videos) shapes.push_back(video.shape);
  std::vector<std::uint64_t> lowest, likely;  // the streams before the next, as they may come out
  for (std::size_t i = 0; i < videos.size(); ++i) {
    SizeEstimate& video = videos[i];
    const std::span<const StreamShape> later = std::span(shapes).subspan(i + 1);
    const std::uint64_t least = smallestFrameBytes(video.shape);
    const std::uint64_t most = std::max(
        streamFrameAllowance(video.shape, later, fitBytes, nextStreamOffset(playerBytes, shapes.size(), lowest)),
        least);
    const std::uint64_t room = std::max(
        streamFrameAllowance(video.shape, later, fitBytes, nextStreamOffset(playerBytes, shapes.size(), likely)),
        least);
    const std::uint64_t likelyFrames = video.sampled ? std::clamp(video.frameBytesSampled, least, room) : room;
    video.bitrate = bitrateWithin(video.shape, room);
    video.streamBytesMax = unpaddedImageBytes(0, video.shape, most);
    video.streamBytesLikely = unpaddedImageBytes(0, video.shape, likelyFrames);
    lowest.push_back(video.streamBytesLowest);
    likely.push_back(video.streamBytesLikely);
  }
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

CartridgeEstimate combineEstimates(std::vector<SizeEstimate> videos, std::uint64_t playerBytes,
                                   std::uint64_t fitBytes) {
  if (fitBytes != 0 && videos.size() > 1) shareTarget(videos, playerBytes, fitBytes);
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
  // Each video's largest assumes the ones before took their least; together
  // they still stay within the target.
  if (fitBytes != 0 && videos.size() > 1 && c.imageBytesLowest <= usableImageBytes(fitBytes))
    c.imageBytesMax = std::min(c.imageBytesMax, usableImageBytes(fitBytes));
  c.imageBytesLikely = paddedImageBytes(cartridgeImageBytes(playerBytes, likely));
  c.cartridgeLikely = smallestCartridgeFor(c.imageBytesLikely);
  c.cartridgeMax = smallestCartridgeFor(c.imageBytesMax);
  c.longestFittingSeconds = longestFittingSeconds(videos, playerBytes, kCartridgeSizes.back());
  c.videos = std::move(videos);
  return c;
}

std::optional<std::string> cartridgeNeverFitsText(const CartridgeEstimate& estimate, std::uint64_t fitBytes) {
  const std::uint64_t usable = usableImageBytes(fitBytes != 0 ? fitBytes : kMaxRomSize);
  if (estimate.imageBytesLowest <= usable) return std::nullopt;
  const double longest = longestFittingSeconds(estimate.videos, estimate.playerBytes, usable);
  const std::string fits = longest < 1.0 ? std::string("no videos of these settings fit in it")
                                         : "at most " + durationText(longest) + " of video in all fits in it";
  if (fitBytes != 0) {
    return "The target size of " + std::to_string(fitBytes) + " bytes cannot hold these " +
           std::to_string(estimate.videos.size()) + " videos (" + durationText(estimate.durationSeconds) +
           " in all): their sound and smallest frames alone make " + std::to_string(estimate.imageBytesLowest) +
           " bytes; " + fits + ".";
  }
  return "The videos are too long for a cartridge: " + durationText(estimate.durationSeconds) +
         " in all, whose sound and smallest frames alone make " + mebibytesText(estimate.imageBytesLowest) +
         ", more than the 32 MiB a cartridge holds; " + fits + ".";
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
    if (inputs.size() > 1) {
      // Each stream as the cartridge job makes it: with key frames to resume
      // at and, under a target, in two passes with a share of the target.
      one.keyFrameSeconds = kCartridgeKeyFrameSeconds;
      one.twoPass = job.twoPass || job.fitBytes != 0;
      one.fitBytes = 0;
    }
    std::optional<SizeEstimate> estimate = estimateImageSize(one, depth, makeGraph, failure, cancel);
    if (!estimate) {
      const std::string detail = lastErrorText();
      setLastErrorText("\"" + input.inputPath + "\": " + (detail.empty() ? "no estimate" : detail));
      return std::nullopt;
    }
    videos.push_back(*estimate);
  }
  return combineEstimates(std::move(videos), playerImage().size(), job.fitBytes);
}

}  // namespace zepra
