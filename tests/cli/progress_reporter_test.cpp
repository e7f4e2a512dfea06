#include "cli/progress_reporter.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zepra::cli {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(Progress, DurationsReadLikeAClock) {
  EXPECT_EQ(formatDuration(0s), "0:00");
  EXPECT_EQ(formatDuration(7s), "0:07");
  EXPECT_EQ(formatDuration(754s), "12:34");
  EXPECT_EQ(formatDuration(3723s), "1:02:03");
  EXPECT_EQ(formatDuration(-5s), "0:00");
}

TEST(Progress, LineShowsPercentFramesElapsedAndTimeLeft) {
  EXPECT_EQ(formatProgress(374, 42s, 3000), " 37.4%  frame 1122 of 3000  elapsed 0:42  left 1:11");
  EXPECT_EQ(formatProgress(500, 60s, std::nullopt), " 50.0%  elapsed 1:00  left 1:00");
  // Too early for an estimate.
  EXPECT_EQ(formatProgress(9, 2s, 100), "  0.9%  frame 0 of 100  elapsed 0:02  left -:--");
  // Repeated frames can run past the announced length.
  EXPECT_EQ(formatProgress(1013, 90s, 100), "100.0%  frame 100 of 100  elapsed 1:30  left 0:00");
  // The time left rounds up: 0.5 s left is still a second.
  EXPECT_EQ(formatProgress(990, 50s, std::nullopt), " 99.0%  elapsed 0:50  left 0:01");
}

struct FakeClock {
  Clock::time_point now{};
  SteadyClock function() {
    return [this] { return now; };
  }
};

TEST(Progress, TerminalRedrawsOneLineAtMostTenTimesASecondUnlessThePercentChanges) {
  FakeClock clock;
  std::ostringstream out;
  ProgressReporter reporter(out, ProgressStyle::kTerminal, clock.function());
  reporter.sendFrameTotal(1000);  // the job's count of the input's frames
  clock.now += 1s;
  reporter.sendProgress(11);
  clock.now += 50ms;
  reporter.sendProgress(12);  // same percent, too soon: not drawn
  clock.now += 50ms;
  reporter.sendProgress(13);  // 100 ms after the last drawing
  reporter.sendProgress(20);  // new percent: drawn at once
  reporter.sendStatus("Finalizing.....");
  reporter.finish();
  reporter.finish();  // a second end adds nothing
  EXPECT_EQ(out.str(),
            "\r  1.1%  frame 11 of 1000  elapsed 0:01  left 1:30\x1b[K"
            "\r  1.3%  frame 13 of 1000  elapsed 0:01  left 1:24\x1b[K"
            "\r  2.0%  frame 20 of 1000  elapsed 0:01  left 0:54\x1b[K"
            "\r  2.0%  frame 20 of 1000  elapsed 0:01  left 0:54  Finalizing.....\x1b[K"
            "\n");
}

TEST(Progress, PlainOutputWritesALineEveryTenthAndEveryStatus) {
  FakeClock clock;
  std::ostringstream out;
  ProgressReporter reporter(out, ProgressStyle::kPlain, clock.function());
  for (int permille = 1; permille <= 1010; permille += 3) {
    clock.now += 10ms;
    reporter.sendProgress(permille);
  }
  reporter.sendStatus("Closing file...     ...");
  reporter.finish();
  const std::string text = out.str();
  EXPECT_EQ(text.find('\r'), std::string::npos);
  int lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 11);  // 10% .. 100%, then the status
  EXPECT_NE(text.find("zepra-cli:  10.0%  elapsed 0:00"), std::string::npos) << text;
  EXPECT_NE(text.find("zepra-cli: 100.0%  elapsed 0:03  left 0:00\n"), std::string::npos) << text;
  EXPECT_NE(text.find("zepra-cli: Closing file...     ...\n"), std::string::npos);
}

TEST(Progress, QuietWritesNothingButKeepsTheResult) {
  FakeClock clock;
  std::ostringstream out;
  ProgressReporter reporter(out, ProgressStyle::kQuiet, clock.function());
  reporter.sendFrameTotal(10);
  EXPECT_FALSE(reporter.result().has_value());
  reporter.sendProgress(500);
  reporter.sendStatus("Finalizing.....");
  reporter.sendWarning("the image can reach 40.0 MiB");
  reporter.postDone(1000);
  reporter.finish();
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(reporter.result(), 1000);
}

// A warning stands on a line of its own: an open progress line is ended first.
TEST(Progress, WarningsEndTheProgressLineAndStandAlone) {
  for (const ProgressStyle style : {ProgressStyle::kTerminal, ProgressStyle::kPlain}) {
    FakeClock clock;
    std::ostringstream out;
    ProgressReporter reporter(out, style, clock.function());
    clock.now += 1s;
    reporter.sendProgress(100);
    reporter.sendWarning("the image can reach 40.0 MiB");
    const std::string text = out.str();
    EXPECT_NE(text.find("\nzepra-cli: warning: the image can reach 40.0 MiB\n"), std::string::npos) << text;
  }
}

// The job's advice is worded for this program's own option.
TEST(Progress, AWarningsAdviceNamesTheOption) {
  FakeClock clock;
  std::ostringstream out;
  ProgressReporter reporter(out, ProgressStyle::kPlain, clock.function());
  reporter.sendWarning("the image can reach 40.0 MiB", WarningAdvice::kTargetOfLargestCartridge);
  EXPECT_EQ(out.str(), "zepra-cli: warning: the image can reach 40.0 MiB (--fit 32M keeps it within)\n");
}

}  // namespace
}  // namespace zepra::cli
