#include "cli/progress_reporter.h"

#include <algorithm>
#include <cstdio>

#include "job/size_text.h"

namespace zepra::cli {

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::seconds;

// Redrawing more often than this only makes the terminal flicker.
constexpr milliseconds kRedrawInterval{100};
// Below this share of the way the estimate of the time left is mostly noise.
constexpr int kMinPermilleForEstimate = 10;

}  // namespace

std::string formatDuration(seconds duration) { return durationText(static_cast<double>(duration.count())); }

std::string formatProgress(int permille, std::chrono::steady_clock::duration elapsed,
                           std::optional<std::uint64_t> frameTotal, int videoCount) {
  // Repeated frames can carry the count past the announced length.
  const int shown = std::clamp(permille, 0, 1000);
  char percent[16];
  std::snprintf(percent, sizeof percent, "%5.1f%%", shown / 10.0);
  std::string line = percent;
  if (videoCount > 1) {
    // Video i owns the permille from i * 1000 / count on; its end is the next one's start.
    const int video = std::min(videoCount - 1, shown * videoCount / 1000);
    line += "  video " + std::to_string(video + 1) + " of " + std::to_string(videoCount);
  } else if (frameTotal && *frameTotal > 0) {
    const std::uint64_t done = *frameTotal * static_cast<std::uint64_t>(shown) / 1000;
    line += "  frame " + std::to_string(done) + " of " + std::to_string(*frameTotal);
  }
  const milliseconds elapsedMs = duration_cast<milliseconds>(elapsed);
  line += "  elapsed " + formatDuration(duration_cast<seconds>(elapsedMs));
  if (shown >= kMinPermilleForEstimate) {
    const long long leftMs = elapsedMs.count() * (1000 - shown) / shown;
    line += "  left " + formatDuration(seconds((leftMs + 999) / 1000));
  } else {
    line += "  left -:--";
  }
  return line;
}

ProgressReporter::ProgressReporter(std::ostream& out, ProgressStyle style, SteadyClock clock, int videoCount)
    : out_(out), style_(style), clock_(std::move(clock)), videoCount_(videoCount), start_(clock_()) {}

void ProgressReporter::postDone(int result) {
  std::lock_guard lock(mutex_);
  result_ = result;
}

void ProgressReporter::sendProgress(int permille) {
  std::lock_guard lock(mutex_);
  const int previous = permille_;
  permille_ = permille;
  const auto now = clock_();
  switch (style_) {
    case ProgressStyle::kQuiet:
      return;
    case ProgressStyle::kTerminal:
      if (lastDrawn_ && now - *lastDrawn_ < kRedrawInterval && previous / 10 == permille / 10) return;
      lastDrawn_ = now;
      drawLine(formatProgress(permille, now - start_, frameTotal_, videoCount_));
      return;
    case ProgressStyle::kPlain: {
      const int tenth = std::min(permille, 1000) / 100;
      if (tenth <= lastPlainTenth_) return;
      lastPlainTenth_ = tenth;
      out_ << "zepra-cli: " << formatProgress(permille, now - start_, frameTotal_, videoCount_) << '\n' << std::flush;
      return;
    }
  }
}

void ProgressReporter::sendStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  switch (style_) {
    case ProgressStyle::kQuiet:
      return;
    case ProgressStyle::kTerminal:
      drawLine(formatProgress(permille_, clock_() - start_, frameTotal_, videoCount_) + "  " + text);
      return;
    case ProgressStyle::kPlain:
      out_ << "zepra-cli: " << text << '\n' << std::flush;
      return;
  }
}

void ProgressReporter::sendFrameTotal(std::uint64_t sourceFrames) {
  std::lock_guard lock(mutex_);
  frameTotal_ = sourceFrames;
}

void ProgressReporter::sendWarning(const std::string& text, WarningAdvice advice) {
  std::lock_guard lock(mutex_);
  if (style_ == ProgressStyle::kQuiet) return;
  if (lineOpen_) {
    out_ << '\n';
    lineOpen_ = false;
  }
  out_ << "zepra-cli: warning: " << text
       << (advice == WarningAdvice::kTargetOfLargestCartridge ? " (--fit 32M keeps it within)" : "") << '\n'
       << std::flush;
}

void ProgressReporter::drawLine(const std::string& text) {
  // Carriage return, the line, then erase whatever a longer line left.
  out_ << '\r' << text << "\x1b[K" << std::flush;
  lineOpen_ = true;
}

void ProgressReporter::finish() {
  std::lock_guard lock(mutex_);
  if (lineOpen_) out_ << '\n' << std::flush;
  lineOpen_ = false;
}

std::optional<int> ProgressReporter::result() const {
  std::lock_guard lock(mutex_);
  return result_;
}

}  // namespace zepra::cli
