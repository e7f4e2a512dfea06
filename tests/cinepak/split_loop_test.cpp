// The compressor's two-thread loop: every iteration exactly once, and a
// helper that is late to start leaves the caller free to do the rest.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "cinepak/split_loop.h"

namespace zepra {
namespace {

TEST(SplitLoop, EveryIterationRunsExactlyOnce) {
  SplitLoop loop(2);
  ASSERT_EQ(loop.threads(), 2);
  for (const int count : {0, 1, 31, 32, 33, 100, 255, 1000, 8480}) {
    for (int round = 0; round < 20; ++round) {
      std::vector<std::atomic<int>> runs(static_cast<std::size_t>(count));
      loop.run(count, [&](int begin, int end) {
        ASSERT_LE(0, begin);
        ASSERT_LT(begin, end);
        ASSERT_LE(end, count);
        for (int i = begin; i < end; ++i) runs[i].fetch_add(1);
      });
      for (int i = 0; i < count; ++i) ASSERT_EQ(runs[i].load(), 1) << "count " << count << " iteration " << i;
    }
  }
}

// The helper's first part stalls until everything else is done (as when the
// other core is busy elsewhere): the caller must take the rest rather than
// wait for the helper to do half.
TEST(SplitLoop, ALateHelperLeavesTheRestToTheCaller) {
  constexpr int kCount = 1600;
  SplitLoop loop(2);
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<int> done{0}, byCaller{0};
  std::atomic<bool> helperStalled{false}, callerStarted{false};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  const auto waitUntil = [&](auto ready) {
    while (!ready() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  };
  loop.run(kCount, [&](int begin, int end) {
    const int part = end - begin;
    if (std::this_thread::get_id() == caller) {
      // The helper is given the time to take its part first.
      if (!callerStarted.exchange(true)) waitUntil([&] { return helperStalled.load(); });
      byCaller += part;
    } else if (!helperStalled.exchange(true)) {
      waitUntil([&] { return done.load() >= kCount - part; });
    }
    done += part;
  });
  EXPECT_EQ(done.load(), kCount);
  ASSERT_TRUE(helperStalled.load()) << "the helper never took a part";
  EXPECT_GT(byCaller.load(), kCount * 3 / 4);
}

}  // namespace
}  // namespace zepra
