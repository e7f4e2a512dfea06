#include "input/sample_callbacks.h"

#include <gtest/gtest.h>

#include "tests/input/media_fixtures.h"

namespace zepra {
namespace {

TEST(SampleCallbacks, VideoForwardsEveryBufferAndSoundOnlyNonEmptyOnes) {
  test::RecordingSink sink;
  VideoSampleCallback video(sink);
  AudioSampleCallback audio(sink);
  const std::uint8_t bytes[6] = {1, 2, 3, 4, 5, 6};

  EXPECT_TRUE(video.bufferCB(0.5, bytes, 6));
  sink.failFromFrame = 2;
  EXPECT_FALSE(video.bufferCB(0.75, nullptr, 0));  // the encoder repeats the last frame, and fails
  ASSERT_EQ(sink.frames.size(), 2u);
  EXPECT_EQ(sink.frames[0].time, 0.5);
  EXPECT_EQ(sink.frames[0].length, 6u);
  EXPECT_EQ(sink.frames[1].time, 0.75);
  EXPECT_EQ(sink.frames[1].length, 0u);

  audio.bufferCB(1.0, bytes, 0);
  audio.bufferCB(1.0, bytes, -4);
  EXPECT_EQ(sink.audioCalls, 0);
  audio.bufferCB(1.0, bytes, 4);
  EXPECT_EQ(sink.audioCalls, 1);
  EXPECT_EQ(sink.sound, std::vector<std::uint8_t>({1, 2, 3, 4}));
}

}  // namespace
}  // namespace zepra
