#include "platform/job_state.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Recorder : zepra::NotifyWindow {
  std::vector<std::pair<int, std::string>> seen;
  void postDone(int result) override { seen.emplace_back(zepra::kNotifyDone, std::to_string(result)); }
  void sendProgress(int p) override { seen.emplace_back(zepra::kNotifyProgress, std::to_string(p)); }
  void sendStatus(const std::string& t) override { seen.emplace_back(zepra::kNotifyStatus, t); }
};

}  // namespace

TEST(JobState, NotificationsReachTheWindowInOrder) {
  Recorder r;
  zepra::notifyWindow = &r;
  zepra::sendProgress(10);
  zepra::sendStatus("Finalizing.....");
  zepra::postDone(5);
  zepra::notifyWindow = nullptr;
  zepra::postDone(0);  // nobody listens: dropped
  ASSERT_EQ(r.seen.size(), 3u);
  EXPECT_EQ(r.seen[0], std::make_pair(zepra::kNotifyProgress, std::string("10")));
  EXPECT_EQ(r.seen[1], std::make_pair(zepra::kNotifyStatus, std::string("Finalizing.....")));
  EXPECT_EQ(r.seen[2], std::make_pair(zepra::kNotifyDone, std::string("5")));
}

TEST(JobState, ResetClearsCancelAndErrorButNotProgress) {
  zepra::jobCancelled = true;
  zepra::setLastErrorText("x");
  zepra::lastProgressSent = 500;
  zepra::resetJobState();
  EXPECT_FALSE(zepra::jobCancelled);
  EXPECT_EQ(zepra::lastErrorText(), "");
  EXPECT_EQ(zepra::lastProgressSent, 500);
}
