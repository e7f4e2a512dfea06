#pragma once
// A size estimator for the dialog tests: it answers from a made-up stream
// whose length the input's name sets, and while its gate is shut it keeps
// every call waiting, as a slow input would.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/estimate_runner.h"
#include "job/size_estimate.h"

namespace zepra::test {

class ScriptedEstimator {
 public:
  struct Call {
    std::string input;
    EstimateDepth depth;
    bool cancelled;  // the call saw its cancel request before it answered
  };
  // Seconds of video behind an input name; answers with targets take these.
  std::function<EstimateAnswer(const EstimateRequest&, EstimateDepth)> answer = [](const EstimateRequest& request,
                                                                                   EstimateDepth depth) {
    return answerFor(request, depth);
  };

  // With the gate shut, a call waits until it opens, or until the call is
  // cancelled when honourCancel is set.
  void shut() { setOpen(false); }
  void open() { setOpen(true); }
  bool honourCancel = true;

  SizeEstimator estimator() {
    return [this](const EstimateRequest& request, EstimateDepth depth, const CancelSource& cancel) {
      std::unique_lock lock(state_->mutex);
      while (!state_->open && !(honourCancel && cancel.cancelRequested()))
        state_->changed.wait_for(lock, std::chrono::milliseconds(5));
      state_->calls.push_back({request.inputs.empty() ? std::string() : request.inputs.front(), depth,
                               cancel.cancelRequested()});
      lock.unlock();
      return answer(request, depth);
    };
  }

  std::vector<Call> calls() const {
    std::lock_guard lock(state_->mutex);
    return state_->calls;
  }

  // A stream of 240 x 160 at 30 frames a second, as long as the input's name
  // says in seconds ("/v/90.avi": 90 s). The sample finds a third of the budget.
  static EstimateAnswer answerFor(const EstimateRequest& request, EstimateDepth depth) {
    EstimateAnswer answer;
    const std::string& input = request.inputs.front();
    const std::size_t slash = input.find_last_of('/');
    const std::uint32_t seconds = static_cast<std::uint32_t>(std::stoul(input.substr(slash + 1)));
    StreamShape shape;
    shape.frames = seconds * 30;
    shape.rate = {30, 1};
    shape.width = 240;
    shape.height = 160;
    const int bitrate = request.job.bitrate;
    std::optional<std::uint64_t> likely;
    if (depth == EstimateDepth::kSampled) likely = largestFrameBytes(shape, bitrate) / 3;
    answer.estimate = estimateForShape(shape, bitrate, kPlayerBytes, likely);
    return answer;
  }
  static constexpr std::uint64_t kPlayerBytes = 44408;

 private:
  struct State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool open = true;
    std::vector<Call> calls;
  };
  void setOpen(bool open) {
    std::lock_guard lock(state_->mutex);
    state_->open = open;
    state_->changed.notify_all();
  }
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace zepra::test
