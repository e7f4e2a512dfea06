#include "platform/cancel_event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;
using zepra::CancelEvent;

TEST(CancelEvent, SignalWithoutRunningJobFindsNothing) {
  EXPECT_FALSE(CancelEvent::signal());
}

TEST(CancelEvent, NameIsScopedToTheUser) {
  EXPECT_EQ(CancelEvent::name().rfind("/ZepraAbortEvent", 0), 0u);
  EXPECT_NE(CancelEvent::name(), "/ZepraAbortEvent");
}

TEST(CancelEvent, SignalIsConsumedByOneWaitAndCountsOnce) {
  auto event = CancelEvent::create();
  ASSERT_TRUE(event);
  EXPECT_FALSE(event->waitFor(10ms));
  EXPECT_TRUE(CancelEvent::signal());
  EXPECT_TRUE(CancelEvent::signal());
  EXPECT_TRUE(event->waitFor(10ms));
  EXPECT_FALSE(event->waitFor(10ms));  // auto-reset: the second signal was not a second request
}

TEST(CancelEvent, SignalFromAnotherThreadWakesTheWaiter) {
  auto event = CancelEvent::create();
  ASSERT_TRUE(event);
  std::thread sender([] {
    std::this_thread::sleep_for(20ms);
    CancelEvent::signal();
  });
  EXPECT_TRUE(event->waitFor(2000ms));
  sender.join();
}

TEST(CancelEvent, StaleSignalDoesNotCancelTheNextJob) {
  {
    auto first = CancelEvent::create();
    ASSERT_TRUE(first);
    EXPECT_TRUE(CancelEvent::signal());
  }
  EXPECT_FALSE(CancelEvent::signal());  // the name is gone with the job
  auto second = CancelEvent::create();
  ASSERT_TRUE(second);
  EXPECT_FALSE(second->waitFor(10ms));
}
