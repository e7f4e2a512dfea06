#include "platform/cancel_event.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>

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

TEST(CancelEvent, EveryRunningJobIsReachedAndOneEndingLeavesTheOtherCancellable) {
  auto first = CancelEvent::create();
  auto second = CancelEvent::create();
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(CancelEvent::signal());
  EXPECT_TRUE(first->waitFor(10ms));
  EXPECT_TRUE(second->waitFor(10ms));
  first.reset();
  EXPECT_TRUE(CancelEvent::signal());
  EXPECT_TRUE(second->waitFor(10ms));
}

TEST(CancelEvent, EventOfAJobThatDiedIsRemovedNotSignalled) {
  const std::string orphan = CancelEvent::name() + "-999999999-0";  // beyond any pid
  sem_t* sem = sem_open(orphan.c_str(), O_CREAT, 0600, 0);
  ASSERT_NE(sem, SEM_FAILED);
  sem_close(sem);
  EXPECT_FALSE(CancelEvent::signal());
  EXPECT_EQ(sem_open(orphan.c_str(), 0), SEM_FAILED);
}
