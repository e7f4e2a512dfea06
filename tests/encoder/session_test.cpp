// Opening and closing the stream: the header, the compressor's session and
// the trailer.

#include <gtest/gtest.h>

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
