// Opening and closing the stream: the header, the compressor's session and
// the trailer.

#include <gtest/gtest.h>

#include "encoder/image_size.h"
#include "tests/encoder/encoder_harness.h"

namespace zepra::test {
namespace {

using SessionTest = EncoderTest;

TEST_F(SessionTest, OpeningWritesTheHeaderAndBeginsTheSessionInOrder) {
  script->stateBytes = 3;
  SourceVideo source;
  source.frameDuration = 333333;  // 30 frames/s: rate 30000 / 1000
  ASSERT_TRUE(open(source, 300));
  EXPECT_EQ(script->calls,
            (std::vector<std::string>{"locate", "outputFormatSize", "getOutputFormat", "maxFrameSize",
                                      "defaultQuality", "framesInfo", "getStateSize", "getState",
                                      "setState", "begin"}));
  EXPECT_EQ(script->stateSet, (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(script->framesInfo.lFrameCount, 300);
  EXPECT_EQ(script->framesInfo.lQuality, 7500);
  EXPECT_EQ(script->framesInfo.lDataRate, 122880);  // 120 KB/s
  EXPECT_EQ(script->framesInfo.dwRate, 30000u);
  EXPECT_EQ(script->framesInfo.dwScale, 1000u);
  ASSERT_TRUE(encoder.closeStream());
  EXPECT_EQ(readFileBytes(path),
            (std::vector<std::uint8_t>{0, 0, 0, 0, 0x95, 0x80, 0, 0, 0xF0, 0, 0xA0, 0}));
}

struct FrameCountCase {
  int mode;
  std::int64_t frameDuration;
  std::int32_t frames;
};

class FrameCountTest : public EncoderTest, public ::testing::WithParamInterface<FrameCountCase> {};

TEST_P(FrameCountTest, SessionIsToldTheFramesThatRemainAfterReduction) {
  SourceVideo source;
  source.frameRateMode = GetParam().mode;
  source.frameDuration = GetParam().frameDuration;
  ASSERT_TRUE(open(source, 100));
  EXPECT_EQ(script->framesInfo.lFrameCount, GetParam().frames);
}

INSTANTIATE_TEST_SUITE_P(Modes, FrameCountTest,
                         ::testing::Values(FrameCountCase{0, 333333, 100}, FrameCountCase{1, 333333, 80},
                                           FrameCountCase{2, 333333, 66}, FrameCountCase{3, 333333, 50},
                                           FrameCountCase{4, 333333, 40}, FrameCountCase{5, 333333, 33},
                                           FrameCountCase{6, 333333, 25}, FrameCountCase{7, 333333, 20},
                                           FrameCountCase{-1, 333333, 50},  // auto at 30 fps: N = 2
                                           FrameCountCase{-1, 666667, 100}),  // auto at 15 fps: all
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(SessionTest, AFrameCountAboveAQuarterOfTheRangeDoesNotWrap) {
  SourceVideo source;
  source.frameRateMode = 1;
  ASSERT_TRUE(open(source, 0x50000000));
  EXPECT_EQ(static_cast<std::uint32_t>(script->framesInfo.lFrameCount), 0x40000000u);
}

TEST_F(SessionTest, RefusalsOfTheCompressorFailTheOpening) {
  for (int step = 0; step < 3; ++step) {
    script = std::make_shared<FakeCompressorScript>();
    script->found = step != 0;
    if (step == 1) script->framesInfoResult = kIcErrBadFormat;
    if (step == 2) script->beginResult = kIcErrBadFormat;
    StreamEncoder refusing(fakeCompressorLocator(script));
    const int trim[4] = {};
    VideoInfoHeader format;
    format.AvgTimePerFrame = 400000;
    format.bmiHeader.biWidth = 160;
    format.bmiHeader.biHeight = 120;
    ASSERT_TRUE(refusing.setOutputName(path.c_str()));
    ASSERT_TRUE(refusing.setOptions(trim, false, -1, -1, 0, 0, 120, 1.0f));
    ASSERT_TRUE(refusing.acceptVideoFormat(format));
    EXPECT_FALSE(refusing.openStream(10)) << "step " << step;
    // The refused session takes no frame.
    std::vector<std::uint8_t> frame(160 * 3 * 120, 0);
    EXPECT_FALSE(refusing.addVideoSample(0.0, frame.data(), static_cast<std::uint32_t>(frame.size())));
    refusing.closeStream();
    EXPECT_EQ(readFileBytes(path).size(), 12u) << "only the header is left";
  }
}

TEST_F(SessionTest, OpeningWithoutAPathOrAFormatFails) {
  EXPECT_FALSE(encoder.openStream(10));
  EXPECT_TRUE(script->calls.empty());
  ASSERT_TRUE(encoder.setOutputName(path.c_str()));
  EXPECT_FALSE(encoder.openStream(10)) << "no video format accepted";
  EXPECT_TRUE(encoder.closeStream());
}

TEST_F(SessionTest, AStreamThatCannotBeCreatedFailsAndClosingOnlyEndsTheSession) {
  path = "/nonexistent-folder/stream.bin";
  EXPECT_TRUE(configure(SourceVideo{}));
  EXPECT_FALSE(encoder.openStream(10));
  EXPECT_TRUE(encoder.closeStream());
}

TEST_F(SessionTest, ClosingWritesTheTrailerAndTheFrameCount) {
  ASSERT_TRUE(open(SourceVideo{}, 3));
  for (int k = 0; k < 3; ++k) ASSERT_TRUE(add(k / 30.0, static_cast<std::uint8_t>(k * 40)));
  ASSERT_TRUE(encoder.closeStream());
  EXPECT_EQ(script->calls.back(), "end");
  const WalkedStream stream = walkStream(path);
  ASSERT_TRUE(stream.complete);
  EXPECT_EQ(stream.frameCount, 3u);
  ASSERT_EQ(stream.records.size(), 3u);
  ASSERT_TRUE(stream.hasTrailer);
  // No sound arrived: three frames at 30 frames/s last 5 refreshes, plus one block.
  EXPECT_EQ(stream.blockCount, 6u);
  EXPECT_EQ(stream.blocks, std::vector<std::uint8_t>(6 * 176, 0x08));
}

TEST_F(SessionTest, ThreeHundredFramesAtThirtyPerSecondBeginTheStreamAsExpected) {
  ASSERT_TRUE(open(SourceVideo{}, 300));
  const auto frame = decodedFrame(90);
  for (int k = 0; k < 300; ++k) {
    ASSERT_TRUE(encoder.addVideoSample(k / 30.0, frame.data(), static_cast<std::uint32_t>(frame.size())));
  }
  ASSERT_TRUE(encoder.closeStream());
  const WalkedStream stream = walkStream(path);
  ASSERT_TRUE(stream.complete);
  EXPECT_EQ(std::vector<std::uint8_t>(stream.bytes.begin(), stream.bytes.begin() + 12),
            (std::vector<std::uint8_t>{0x2C, 0x01, 0, 0, 0x95, 0x80, 0, 0, 0xF0, 0, 0xA0, 0}));
  EXPECT_EQ(stream.records.size(), 300u);
}

TEST_F(SessionTest, OneFrameGetsOneRecordAndATrailerOfTwoBlocks) {
  ASSERT_TRUE(open(SourceVideo{}, 1));
  ASSERT_TRUE(add(0.0, 50));
  ASSERT_TRUE(encoder.closeStream());
  const WalkedStream stream = walkStream(path);
  ASSERT_TRUE(stream.complete);
  EXPECT_EQ(stream.records.size(), 1u);
  EXPECT_EQ(stream.blockCount, 2u);
}

// A clip shorter than the reduction's period still shows its last picture.
TEST_F(SessionTest, AReductionThatDropsEveryFrameKeepsTheLastOne) {
  for (bool cancelled : {false, true}) {
    SourceVideo source;
    source.frameRateMode = 7;  // one of every five
    script->inputs.clear();
    ASSERT_TRUE(open(source, 3));
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(add(k / 30.0, static_cast<std::uint8_t>(10 + 10 * k)));
    ASSERT_TRUE(script->inputs.empty()) << "the reduction kept no slot";
    jobCancelled = cancelled;
    EXPECT_TRUE(encoder.closeStream());
    jobCancelled = false;
    const WalkedStream stream = walkStream(path);
    if (cancelled) {
      EXPECT_EQ(stream.frameCount, 0u);
      EXPECT_TRUE(script->inputs.empty()) << "a cancelled job compresses nothing more";
      continue;
    }
    ASSERT_TRUE(stream.complete);
    EXPECT_EQ(stream.frameCount, 1u);
    ASSERT_EQ(script->inputs.size(), 1u);
    EXPECT_EQ(script->inputs[0].front(), 30) << "the last delivered picture";
    EXPECT_TRUE(stream.hasTrailer);
  }
}

// The limit covers the player, the stream so far and the sound its frames
// need; the image is at least that large, so passing it ends the stream at once.
TEST_F(SessionTest, AStreamStopsAtTheFrameThatTakesTheImagePastItsLimit) {
  constexpr std::uint64_t kPlayer = 44408;
  // 30 frames per second; 64-byte Cinepak frames make 46-byte records.
  const std::uint32_t step = 32917;
  const auto need = [&](std::uint32_t frames) {
    return imageBytesNeeded(kPlayer, 12 + 46 * frames, frames, step);
  };
  for (std::uint64_t limit : {need(3), need(3) - 1}) {
    script->inputs.clear();
    ASSERT_TRUE(open(SourceVideo{}, 10));
    encoder.setImageLimit(kPlayer, limit);
    ASSERT_TRUE(add(0.0, 10));
    ASSERT_TRUE(add(1 / 30.0, 20));
    const bool third = add(2 / 30.0, 30);
    const bool fourth = add(3 / 30.0, 40);
    EXPECT_EQ(third, limit == need(3)) << "exactly the limit still fits";
    EXPECT_FALSE(fourth);
    EXPECT_TRUE(encoder.imageTooBig());
    EXPECT_EQ(script->inputs.size(), limit == need(3) ? 4u : 3u) << "nothing after the frame that passed";
    EXPECT_FALSE(encoder.closeStream());
  }
}

// What the limit is checked against is what the closed stream holds.
TEST_F(SessionTest, TheImageSizeNeededIsTheClosedStreamsSize) {
  ASSERT_TRUE(open(SourceVideo{}, 10));
  for (int k = 0; k < 7; ++k) ASSERT_TRUE(add(k / 30.0, static_cast<std::uint8_t>(k)));
  ASSERT_TRUE(encoder.closeStream());
  const WalkedStream stream = walkStream(path);
  ASSERT_TRUE(stream.complete);
  const std::size_t records = stream.bytes.size() - 4 - 176 * std::size_t{stream.blockCount};
  EXPECT_EQ(imageBytesNeeded(100, records, 7, stream.playbackStep), 100 + stream.bytes.size());
}

TEST_F(SessionTest, ACancelledJobKeepsTheCountAtZeroAndGetsNoTrailer) {
  ASSERT_TRUE(open(SourceVideo{}, 3));
  ASSERT_TRUE(add(0.0, 10));
  ASSERT_TRUE(add(1 / 30.0, 20));
  jobCancelled = true;
  EXPECT_TRUE(encoder.closeStream());
  const WalkedStream stream = walkStream(path);
  EXPECT_EQ(stream.frameCount, 0u);
  EXPECT_EQ(stream.bytes.size(), 12u + 2 * 64 - 2 * 18) << "header and two records, nothing after";
}

TEST_F(SessionTest, AnEmptyStreamKeepsTheCountAtZero) {
  ASSERT_TRUE(open(SourceVideo{}, 3));
  EXPECT_TRUE(encoder.closeStream());
  const WalkedStream stream = walkStream(path);
  EXPECT_TRUE(stream.complete);
  EXPECT_EQ(stream.bytes.size(), 12u);
  EXPECT_FALSE(stream.hasTrailer);
}

TEST_F(SessionTest, AFailedEndOfSessionIsReported) {
  script->endResult = kIcErrInternal;
  ASSERT_TRUE(open(SourceVideo{}, 3));
  EXPECT_FALSE(encoder.closeStream());
}

}  // namespace
}  // namespace zepra::test
