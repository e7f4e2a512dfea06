#include "platform/cancel_source.h"

#include <gtest/gtest.h>

#include <thread>

using zepra::CancelSource;

TEST(CancelSource, ARequestStaysUntilTheJobLooksAndReachesOnlyItsOwnJob) {
  CancelSource mine, other;
  EXPECT_FALSE(mine.cancelRequested());
  std::thread frontEnd([&] { EXPECT_TRUE(mine.requestCancel()); });
  frontEnd.join();
  EXPECT_TRUE(mine.requestCancel());  // pressed again: still one request
  EXPECT_TRUE(mine.cancelRequested());
  EXPECT_FALSE(other.cancelRequested());
  EXPECT_FALSE(mine.passLastCancelPoint());  // a cancelled job puts no image in place
  EXPECT_TRUE(mine.cancelRequested());
}

TEST(CancelSource, ARequestAfterTheLastCancelPointIsRefused) {
  CancelSource source;
  EXPECT_TRUE(source.passLastCancelPoint());
  EXPECT_TRUE(source.passLastCancelPoint());
  EXPECT_FALSE(source.requestCancel());
  EXPECT_FALSE(source.cancelRequested());
}
