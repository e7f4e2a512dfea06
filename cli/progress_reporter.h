#pragma once
// The command line's receiver of a job's notifications. On a terminal it
// keeps one line up to date (percent, frames done, elapsed time, time left);
// elsewhere it writes a plain line at every tenth of the way and for every
// status text; quietly it writes nothing. It also keeps the job's result.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>

#include "platform/job_state.h"

namespace zepra::cli {

enum class ProgressStyle { kTerminal, kPlain, kQuiet };

using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

// "0:07", "12:34", "1:02:03".
std::string formatDuration(std::chrono::seconds duration);

// "37.4%  frame 1122 of 3000  elapsed 0:42  left 1:11"; the frames are left
// out when the input's length is not known, the time left until there is
// enough progress to estimate it. For a cartridge of several videos the
// video being converted takes the frames' place: "37.4%  video 2 of 3  ...".
std::string formatProgress(int permille, std::chrono::steady_clock::duration elapsed,
                           std::optional<std::uint64_t> frameTotal, int videoCount = 1);

class ProgressReporter final : public NotifyWindow {
 public:
  // videoCount: the inputs of the job, each an equal share of the way.
  ProgressReporter(std::ostream& out, ProgressStyle style, SteadyClock clock, int videoCount = 1);

  void postDone(int result) override;
  void sendProgress(int permille) override;
  void sendStatus(const std::string& text) override;
  void sendFrameTotal(std::uint64_t sourceFrames) override;
  void sendWarning(const std::string& text, WarningAdvice advice = WarningAdvice::kNone) override;

  // Ends the updating line, so that what follows starts on a line of its own.
  void finish();
  // The posted result; nothing when the job never posted one.
  std::optional<int> result() const;

 private:
  void drawLine(const std::string& text);  // holds mutex_

  mutable std::mutex mutex_;
  std::ostream& out_;
  const ProgressStyle style_;
  const SteadyClock clock_;
  const int videoCount_;
  std::optional<std::uint64_t> frameTotal_;  // from the job, once it knows
  const std::chrono::steady_clock::time_point start_;
  std::optional<std::chrono::steady_clock::time_point> lastDrawn_;
  int permille_ = 0;
  int lastPlainTenth_ = 0;
  bool lineOpen_ = false;
  std::optional<int> result_;
};

}  // namespace zepra::cli
