#include "job/cartridge_job.h"

#include <vector>

#include "job/cartridge_estimate.h"
#include "job/cartridge_layout.h"
#include "job/cartridge_share.h"
#include "job/rom_builder.h"
#include "job/size_text.h"
#include "platform/job_state.h"
#include "platform/thread_priority.h"
#include "player/player_image.h"

namespace zepra {

namespace {

// Passes one input's notifications on as a share of the whole cartridge's:
// progress scaled into the input's part of the way, status texts with the
// input's place in front. The completion is the cartridge job's own.
class PartNotifier final : public NotifyWindow {
 public:
  PartNotifier(NotifyWindow* whole, std::size_t index, std::size_t count)
      : whole_(whole), index_(index), count_(count) {}
  void postDone(int) override {}
  void sendProgress(int permille) override {
    if (whole_ != nullptr)
      whole_->sendProgress(static_cast<int>((index_ * 1000 + static_cast<std::size_t>(permille)) / count_));
  }
  void sendStatus(const std::string& text) override {
    if (whole_ != nullptr) whole_->sendStatus(place() + text);
  }
  std::string place() const {
    return "video " + std::to_string(index_ + 1) + " of " + std::to_string(count_) + ": ";
  }

 private:
  NotifyWindow* whole_;
  std::size_t index_;
  std::size_t count_;
};

// Refuses, before any frame is converted, videos whose lowest image passes
// the largest cartridge or the target, saying how long they could be; warns
// when only their largest image could pass what a cartridge holds.
int refuseOrWarn(const CartridgeEstimate& estimate, const ConversionJob& job) {
  if (std::optional<std::string> refusal = cartridgeNeverFitsText(estimate, job.fitBytes)) {
    setLastErrorText(std::move(*refusal));
    return kJobRomFailed;
  }
  if (job.fitBytes == 0 && estimate.imageBytesMax > kMaxRomSize) {
    sendWarning("at " + std::to_string(job.bitrate) + " KB/s the cartridge can reach " +
                mebibytesText(estimate.imageBytesMax) +
                    ", more than the 32 MiB a cartridge holds; busy videos are then refused when it passes 32 MiB",
                WarningAdvice::kTargetOfLargestCartridge);
  }
  return kJobOk;
}

int convertAll(const ConversionJob& job, std::span<const CartridgeInput> inputs, CancelSource& cancel,
               const DecodingGraphFactory& makeGraph) {
  if (const std::string problem = videoCountProblem(inputs.size()); !problem.empty()) {
    setLastErrorText(problem);
    return kJobRomFailed;
  }
  const std::size_t count = inputs.size();
  const std::uint64_t playerBytes = playerImage().size();
  // Several videos are planned as a whole before the first frame: their
  // lengths and shapes as announced.
  std::vector<StreamShape> announced;
  // The least the streams after each one add, their gaps included.
  std::vector<std::uint64_t> leastAfter(count, 0);
  if (count > 1) {
    int failure = kJobInputError;
    const std::optional<CartridgeEstimate> estimate =
        estimateCartridgeSize(job, inputs, EstimateDepth::kLength, makeGraph, &failure);
    if (!estimate) return failure;
    if (const int result = refuseOrWarn(*estimate, job); result != kJobOk) return result;
    for (const SizeEstimate& video : estimate->videos) announced.push_back(video.shape);
    for (std::size_t i = count - 1; i > 0; --i)
      leastAfter[i - 1] = leastAfter[i] + estimate->videos[i].streamBytesLowest + kMaxStreamGap;
  }

  std::vector<std::vector<std::uint8_t>> streams;
  std::vector<std::uint64_t> lengths;
  std::vector<CartridgeVideo> videos;
  NotifyWindow* const whole = notifyWindow.load();
  for (std::size_t i = 0; i < count; ++i) {
    const CartridgeInput& input = inputs[i];
    const std::string name = input.name.empty() ? defaultVideoName(input.inputPath) : menuName(input.name);
    PartNotifier part(whole, i, count);
    part.sendStatus(name);
    ConversionJob one = job;
    one.inputPath = input.inputPath;
    SizeControl size = sizeControl(one);
    if (count > 1) {
      // The menu resumes videos: their streams need key frames to resume at.
      one.keyFrameSeconds = kCartridgeKeyFrameSeconds;
      // The whole image is held, not this stream's own.
      size.fitBytes = 0;
      size.bytesBefore = nextStreamOffset(playerBytes, count, lengths);
      size.bytesAfter = leastAfter[i];
      if (job.fitBytes != 0) {
        size.frameAllowance = [&announced, &job, i, start = size.bytesBefore](const StreamShape& exact) {
          return streamFrameAllowance(exact, std::span(announced).subspan(i + 1), job.fitBytes, start);
        };
      }
    }
    notifyWindow = &part;
    int result = kJobUnexpected;
    try {
      result = convertToStream(one, cancel, makeGraph, size, streams.emplace_back());
    } catch (...) {
    }
    notifyWindow = whole;
    if (result != kJobOk) {
      if (jobCancelled.load()) return result;
      const std::string detail = lastErrorText();
      setLastErrorText("\"" + input.inputPath + "\": " + (detail.empty() ? "the conversion failed" : detail));
      return result;
    }
    videos.push_back({name, {}});
    lengths.push_back(streams.back().size());
    // The whole image must fit: no use converting the rest once it cannot.
    if (cartridgeImageBytes(playerBytes, lengths) + leastAfter[i] > kMaxRomSize) {
      setLastErrorText(std::string(kRomTooBigText) + " (with \"" + input.inputPath + "\")");
      return kJobRomFailed;
    }
  }
  for (std::size_t i = 0; i < videos.size(); ++i) videos[i].stream = streams[i];

  std::string error;
  const auto contents = cartridgeContents(playerBytes, videos, error);
  if (!contents) {
    setLastErrorText(error);
    return kJobRomFailed;
  }
  // Each stream keeps its share by construction; an image over the target
  // is still never written.
  if (job.fitBytes != 0 && paddedImageBytes(playerBytes + contents->size()) > job.fitBytes) {
    setLastErrorText("The cartridge came out larger than the target size of " + std::to_string(job.fitBytes) +
                     " bytes.");
    return kJobRomFailed;
  }
  return writeImage(job, *contents, cancel);
}

}  // namespace

int runCartridgeJob(const ConversionJob& job, std::span<const CartridgeInput> inputs, CancelSource& cancel,
                    const DecodingGraphFactory& makeGraph) {
  IdlePriority idle;
  resetJobState();
  int result;
  try {
    result = convertAll(job, inputs, cancel, makeGraph);
  } catch (...) {
    result = kJobUnexpected;
  }
  postDone(result);
  return result;
}

}  // namespace zepra
