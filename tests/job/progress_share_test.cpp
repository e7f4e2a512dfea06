// A stage's progress as its stretch of the whole job, and the receiver put
// back after it, also when the stage ends by an exception.

#include "job/progress_share.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace zepra {
namespace {

struct Recorder final : NotifyWindow {
  std::vector<int> progress;
  std::vector<std::string> texts;
  std::uint64_t frameTotal = 0;
  void postDone(int) override {}
  void sendProgress(int permille) override { progress.push_back(permille); }
  void sendStatus(const std::string& text) override { texts.push_back(text); }
  void sendFrameTotal(std::uint64_t frames) override { frameTotal = frames; }
  void sendWarning(const std::string& text, WarningAdvice) override { texts.push_back("warning: " + text); }
};

TEST(ProgressShare, ScalesEachStageIntoItsStretchAndPutsTheReceiverBack) {
  Recorder whole;
  notifyWindow = &whole;
  {
    ProgressShare first(0, 300);
    for (const int permille : {0, 500, 1000, 1040}) sendProgress(permille);  // repeats run past 1000
    sendStatus("one");
    sendFrameTotal(99);
  }
  EXPECT_EQ(notifyWindow.load(), &whole);
  try {
    ProgressShare second(300, 1000);
    for (const int permille : {0, 10, 500, 1000}) sendProgress(permille);
    sendWarning("two");
    throw std::runtime_error("stage failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(notifyWindow.load(), &whole);
  notifyWindow = nullptr;
  EXPECT_EQ(whole.progress, (std::vector<int>{0, 150, 300, 300, 300, 307, 650, 1000}));
  EXPECT_EQ(whole.texts, (std::vector<std::string>{"one", "warning: two"}));
  EXPECT_EQ(whole.frameTotal, 0u);  // a stage's frames are not the whole job's
}

}  // namespace
}  // namespace zepra
