#include "job/cartridge_job.h"

#include <vector>

#include "job/cartridge_layout.h"
#include "job/rom_builder.h"
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

int convertAll(const ConversionJob& job, std::span<const CartridgeInput> inputs, CancelSource& cancel,
               const DecodingGraphFactory& makeGraph) {
  std::vector<std::vector<std::uint8_t>> streams;
  std::vector<CartridgeVideo> videos;
  NotifyWindow* const whole = notifyWindow.load();
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const CartridgeInput& input = inputs[i];
    const std::string name = input.name.empty() ? defaultVideoName(input.inputPath) : menuName(input.name);
    PartNotifier part(whole, i, inputs.size());
    part.sendStatus(name);
    ConversionJob one = job;
    one.inputPath = input.inputPath;
    // The menu resumes videos: their streams need key frames to resume at.
    if (inputs.size() > 1) one.keyFrameSeconds = kCartridgeKeyFrameSeconds;
    notifyWindow = &part;
    int result = kJobUnexpected;
    try {
      result = convertToStream(one, cancel, makeGraph, streams.emplace_back());
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
    // The whole image must fit: no use converting the rest once it cannot.
    std::size_t total = playerImage().size();
    for (const auto& stream : streams) total += stream.size();
    if (total > kMaxRomSize) {
      setLastErrorText(std::string(kRomTooBigText) + " (with \"" + input.inputPath + "\")");
      return kJobRomFailed;
    }
  }
  for (std::size_t i = 0; i < videos.size(); ++i) videos[i].stream = streams[i];

  std::string error;
  const auto contents = cartridgeContents(playerImage().size(), videos, error);
  if (!contents) {
    setLastErrorText(error);
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
