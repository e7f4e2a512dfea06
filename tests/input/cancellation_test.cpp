#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "input/decoding_graph.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"
#include "tests/input/media_fixtures.h"

namespace zepra {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(DecodingGraphCancel, StopsSoonAfterTheSignalAndNothingArrivesAfterwards) {
  test::ClipFolder folder;
  const std::string clip = folder.make(
      "long.mkv",
      "-f lavfi -i testsrc2=size=32x24:rate=25:duration=4 -f lavfi -i sine=sample_rate=8000:duration=4 "
      "-c:v mjpeg -c:a pcm_s16le");
  ASSERT_FALSE(clip.empty());
  test::RecordingSink sink;
  sink.videoDelayMs = 20;  // 100 frames: two seconds of decoding at least
  resetJobState();
  auto graph = createDecodingGraph();
  ASSERT_TRUE(graph->buildDecodingGraph(clip, sink));
  std::uint64_t frames = 0;
  ASSERT_TRUE(graph->queryFrameCount(frames, sink));

  CancelSource cancel;
  Clock::time_point signalled;
  std::thread canceller([&] {
    while (sink.videoCalls == 0) std::this_thread::yield();
    cancel.requestCancel();
    signalled = Clock::now();
  });
  const bool ran = graph->runDecodingGraph(cancel);
  const Clock::time_point returned = Clock::now();
  sink.runReturned = true;
  canceller.join();

  EXPECT_FALSE(ran);
  EXPECT_TRUE(jobCancelled);
  EXPECT_EQ(lastErrorText(), "Operation canceled");
  // The request is polled every half second; the bound leaves room for a loaded machine.
  EXPECT_LT(returned - signalled, 3000ms);
  EXPECT_GT(sink.videoCalls, 0);
  EXPECT_LT(sink.videoCalls, 100);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(sink.callsAfterRun, 0);
  graph->releaseDecodingGraph();
  EXPECT_EQ(sink.callsAfterRun, 0);
}

TEST(DecodingGraphCancel, AnEncoderThatFailsStopsTheRun) {
  test::ClipFolder folder;
  const std::string clip = folder.make(
      "clip.mkv",
      "-f lavfi -i testsrc2=size=32x24:rate=25:duration=4 -f lavfi -i sine=sample_rate=8000:duration=4 "
      "-c:v mjpeg -c:a pcm_s16le");
  ASSERT_FALSE(clip.empty());
  test::RecordingSink sink;
  sink.failFromFrame = 3;
  resetJobState();
  auto graph = createDecodingGraph();
  ASSERT_TRUE(graph->buildDecodingGraph(clip, sink));
  setLastErrorText("the encoder's own words");
  EXPECT_FALSE(graph->runDecodingGraph(CancelSource()));
  sink.runReturned = true;
  EXPECT_EQ(sink.frames.size(), 3u);
  EXPECT_EQ(lastErrorText(), "the encoder's own words");
  EXPECT_FALSE(jobCancelled);
  graph->releaseDecodingGraph();
  EXPECT_EQ(sink.callsAfterRun, 0);
}

TEST(DecodingGraphCancel, ARunToTheEndIsNotCancelled) {
  test::ClipFolder folder;
  const std::string clip = folder.make(
      "short.mkv",
      "-f lavfi -i testsrc2=size=32x24:rate=25:duration=0.4 -f lavfi -i sine=sample_rate=8000:duration=0.4 "
      "-c:v mjpeg -c:a pcm_s16le");
  ASSERT_FALSE(clip.empty());
  test::RecordingSink sink;
  resetJobState();
  auto graph = createDecodingGraph();
  ASSERT_TRUE(graph->buildDecodingGraph(clip, sink));
  EXPECT_TRUE(graph->runDecodingGraph(CancelSource()));
  EXPECT_FALSE(jobCancelled);
  EXPECT_EQ(sink.frames.size(), 10u);
}

}  // namespace
}  // namespace zepra
