// Frames on the source's time grid: repeats, the frame-rate reduction, the
// byte budget, progress, and what happens when a frame cannot be encoded.

#include <gtest/gtest.h>

#include <set>

#include "cinepak/cinepak_compressor.h"
#include "cinepak/frame_encoder.h"
#include "encoder/budget_plan.h"
#include "format/cinepak.h"
#include "tests/encoder/case_name.h"
#include "tests/encoder/encoder_harness.h"

namespace zepra::test {
namespace {

using PacingTest = EncoderTest;

// The first byte of the converted frame tells which decoded frame it came from.
std::vector<int> compressedValues(const FakeCompressorScript& script) {
  std::vector<int> values;
  for (const auto& input : script.inputs) values.push_back(input.front());
  return values;
}

TEST_F(PacingTest, SkippedTimeIsFilledWithRepeatsOfTheLastFrame) {
  SourceVideo source;
  source.frameDuration = 400000;  // 25 frames/s: 25000 / 1000
  ASSERT_TRUE(open(source, 100));
  ASSERT_TRUE(add(0.0, 8));
  ASSERT_TRUE(add(0.19, 16));  // slots 1..4 repeat frame 0, then slot 5
  ASSERT_TRUE(add(0.24, 24));  // exactly on slot 6: no repeat
  EXPECT_EQ(compressedValues(*script), (std::vector<int>{8, 8, 8, 8, 8, 16, 24}));
  EXPECT_EQ(script->frameNumbers, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_TRUE(encoder.closeStream());
  EXPECT_EQ(walkStream(path).frameCount, 7u);
}

TEST_F(PacingTest, EarlyFramesTakeTheNextSlot) {
  ASSERT_TRUE(open(SourceVideo{}, 100));
  ASSERT_TRUE(add(0.0, 8));
  ASSERT_TRUE(add(0.0, 16));
  ASSERT_TRUE(add(0.01, 24));
  EXPECT_EQ(compressedValues(*script), (std::vector<int>{8, 16, 24}));
}

TEST_F(PacingTest, ALateFirstFrameAlsoFillsTheSlotsBeforeIt) {
  SourceVideo source;
  source.frameDuration = 400000;
  ASSERT_TRUE(open(source, 100));
  ASSERT_TRUE(add(0.1, 40));  // slots 0, 0.04 and 0.08 lie before it; it takes 0.12
  EXPECT_EQ(compressedValues(*script), (std::vector<int>{40, 40, 40, 40}));
}

TEST_F(PacingTest, ARepeatAfterADroppedFrameShowsTheDroppedFrame) {
  SourceVideo source;
  source.frameDuration = 400000;
  source.frameRateMode = 3;  // odd slots kept
  ASSERT_TRUE(open(source, 100));
  ASSERT_TRUE(add(0.0, 8));    // slot 1
  ASSERT_TRUE(add(0.04, 16));  // slot 2, dropped
  ASSERT_TRUE(add(0.24, 24));  // slots 3 to 6 repeat it, then slot 7
  EXPECT_EQ(compressedValues(*script), (std::vector<int>{8, 16, 16, 24}));
}

TEST_F(PacingTest, AnEmptySampleRepeatsTheLastFrame) {
  ASSERT_TRUE(open(SourceVideo{}, 100));
  ASSERT_TRUE(add(0.0, 8));
  ASSERT_TRUE(encoder.addVideoSample(0.0, nullptr, 0));
  EXPECT_EQ(compressedValues(*script), (std::vector<int>{8, 8}));
}

struct SelectionCase {
  int mode;
  std::int64_t frameDuration;
  std::vector<int> keptSlots;  // of slots 1..15
};

class SelectionTest : public EncoderTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(SelectionTest, EachModeKeepsItsSlots) {
  SourceVideo source;
  source.frameRateMode = GetParam().mode;
  source.frameDuration = GetParam().frameDuration;
  ASSERT_TRUE(open(source, 15));
  for (int k = 1; k <= 15; ++k) {
    ASSERT_TRUE(encoder.encodeFrame(decodedFrame(static_cast<std::uint8_t>(k * 8)).data(),
                                    static_cast<std::uint32_t>(decodedFrame(0).size())));
  }
  std::vector<int> kept;
  for (int value : compressedValues(*script)) kept.push_back(value / 8);
  EXPECT_EQ(kept, GetParam().keptSlots);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SelectionTest,
    ::testing::Values(
        SelectionCase{0, 333333, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
        SelectionCase{1, 333333, {1, 2, 3, 4, 6, 7, 8, 9, 11, 12, 13, 14}},
        SelectionCase{2, 333333, {1, 2, 4, 5, 7, 8, 10, 11, 13, 14}},
        SelectionCase{3, 333333, {1, 3, 5, 7, 9, 11, 13, 15}},
        SelectionCase{4, 333333, {1, 3, 6, 8, 11, 13}},
        SelectionCase{5, 333333, {1, 4, 7, 10, 13}},
        SelectionCase{6, 333333, {4, 8, 12}},
        SelectionCase{7, 333333, {5, 10, 15}},
        SelectionCase{-1, 333333, {2, 4, 6, 8, 10, 12, 14}},  // 30 frames/s: N = 2
        SelectionCase{-1, 200000, {4, 8, 12}}),                // 50 frames/s: N = 4
    [](const auto& info) { return "case" + std::to_string(info.index) + "_mode" + caseName(std::to_string(info.param.mode)); });

TEST_F(PacingTest, BudgetCarriesSavingsAndNeverDropsBelowHalfAFrame) {
  SourceVideo source;
  source.frameDuration = 333333;  // 30000 / 1000
  source.bitrate = 120;           // 4096 bytes per frame
  ASSERT_TRUE(open(source, 100));
  ASSERT_EQ(encoder.frameByteTarget(), 4096u);

  script->frameLength = 1000;  // saves 3096 bytes
  ASSERT_TRUE(add(0.0, 1));
  script->frameLength = 20000;  // spends the savings and more
  ASSERT_TRUE(add(1 / 30.0, 2));
  script->frameLength = 64;
  ASSERT_TRUE(add(2 / 30.0, 3));
  // Frame 3 is allowed 12288 in all; 21000 are spent, so it gets the floor.
  EXPECT_EQ(script->frameSizes, (std::vector<std::uint32_t>{4096, 8192 - 1000, 2048}));
}

TEST_F(PacingTest, BudgetOfAHighBitrateDoesNotWrap) {
  SourceVideo source;
  source.frameDuration = 10'000'000;  // 1 frame/s
  source.bitrate = 0x7FFFFFFF;
  ASSERT_TRUE(open(source, 100));
  EXPECT_EQ(encoder.frameByteTarget(), 0xFFFFFFFFu);
  ASSERT_TRUE(add(0.0, 1));
  EXPECT_EQ(script->frameSizes, (std::vector<std::uint32_t>{0xFFFFFFFFu}));
  EXPECT_EQ(script->framesInfo.lDataRate, 0x7FFFFFFF);
}

TEST_F(PacingTest, ProgressIsSentInPermilleWhenItChanges) {
  ASSERT_TRUE(open(SourceVideo{}, 3));
  for (int k = 0; k < 4; ++k) ASSERT_TRUE(add(k / 30.0, 1));
  EXPECT_EQ(window.progress, (std::vector<int>{333, 666, 1000, 1333}));
  EXPECT_EQ(lastProgressSent.load(), 1333);
}

TEST_F(PacingTest, ProgressCarriesOverFromTheLastJob) {
  lastProgressSent = 500;
  ASSERT_TRUE(open(SourceVideo{}, 2));
  ASSERT_TRUE(add(0.0, 1));
  EXPECT_TRUE(window.progress.empty());
}

TEST_F(PacingTest, AnUnknownLengthReportsZeroProgress) {
  ASSERT_TRUE(open(SourceVideo{}, 0));
  for (int k = 0; k < 3; ++k) ASSERT_TRUE(add(k / 30.0, 1));
  EXPECT_EQ(window.progress, (std::vector<int>{0}));
}

TEST_F(PacingTest, RepacksTheStripIntoARecord) {
  ASSERT_TRUE(open(SourceVideo{}, 1));
  script->stripType = 0x1100;
  script->frameLength = 0x0FF4 + 10;
  ASSERT_TRUE(add(0.0, 1));
  ASSERT_TRUE(encoder.closeStream());
  const WalkedStream stream = walkStream(path);
  ASSERT_TRUE(stream.complete);
  ASSERT_EQ(stream.records.size(), 1u);
  EXPECT_EQ(std::vector<std::uint8_t>(stream.bytes.begin() + 12, stream.bytes.begin() + 16),
            (std::vector<std::uint8_t>{0xEC, 0x0F, 0x00, 0x11}));
  const auto expected = makeCinepakFrame(0x0FF4 + 10, 240, 160, 0x1100, 0);
  EXPECT_EQ(stream.records[0].stripData, std::vector<std::uint8_t>(expected.begin() + 22, expected.end()));
}

TEST_F(PacingTest, TheCompressorGetsThePreviousFrameAsReference) {
  ASSERT_TRUE(open(SourceVideo{}, 3));
  ASSERT_TRUE(add(0.0, 8));
  ASSERT_TRUE(add(1 / 30.0, 16));
  ASSERT_EQ(script->references.size(), 2u);
  EXPECT_EQ(script->references[1], script->inputs[0]);
}

// Every way a frame can fail: the stream keeps the records before it, the
// count matches them, and no later frame is taken.
struct FailureCase {
  const char* what;
  std::function<void(FakeCompressorScript&)> breakFrame;
};

class FrameFailureTest : public EncoderTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FrameFailureTest, AFailedFrameStopsTheStreamWithoutACountedRecord) {
  ASSERT_TRUE(open(SourceVideo{}, 10));
  ASSERT_TRUE(add(0.0, 1));
  GetParam().breakFrame(*script);
  EXPECT_FALSE(add(1 / 30.0, 2)) << GetParam().what;
  EXPECT_FALSE(lastErrorText().empty());
  *script = FakeCompressorScript{};
  EXPECT_FALSE(add(2 / 30.0, 3)) << "no frame after a failure";
  EXPECT_EQ(encoder.framesEncoded(), 1u);
  EXPECT_FALSE(encoder.closeStream()) << "the job ends as a failure";
  const WalkedStream stream = walkStream(path);
  EXPECT_TRUE(stream.complete);
  EXPECT_EQ(stream.frameCount, 1u);
  EXPECT_EQ(stream.records.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FrameFailureTest,
    ::testing::Values(
        FailureCase{"compressor error", [](FakeCompressorScript& s) { s.compressResult = kIcErrInternal; }},
        FailureCase{"two strips",
                    [](FakeCompressorScript& s) {
                      s.reshape = [](std::int32_t, std::vector<std::uint8_t>& f) { f[9] = 2; };
                    }},
        FailureCase{"frame too long", [](FakeCompressorScript& s) { s.frameLength = 0x10006; }},
        FailureCase{"strip shorter than its header", [](FakeCompressorScript& s) { s.frameLength = 21; }}),
    ByDescription());

struct KeyFrameCase {
  const char* what;
  double seconds;               // the interval asked for
  int frameRateMode;            // of a 30 frames/s source
  std::set<int> ownIntra;       // frames the compressor codes intra unasked
  std::vector<int> keyFrames;   // the frames the encoder must ask to be intra
};

class KeyFrameTest : public EncoderTest, public ::testing::WithParamInterface<KeyFrameCase> {};

TEST_P(KeyFrameTest, AKeyFrameIsAskedForOnceTheIntervalHasPassed) {
  const KeyFrameCase& c = GetParam();
  SourceVideo source;
  source.frameRateMode = c.frameRateMode;
  encoder.setKeyFrameInterval(c.seconds);
  ASSERT_TRUE(open(source, 20));
  // The strip type the compressor answers with: intra for frame 0, when asked,
  // and where it chooses so itself.
  script->reshape = [&](std::int32_t n, std::vector<std::uint8_t>& frame) {
    const bool intra = n == 0 || (script->frameFlags.back() & kCompressKeyFrame) != 0 || c.ownIntra.count(n) != 0;
    frame[10] = intra ? 0x10 : 0x11;
  };
  for (int k = 0; k < 20; ++k) ASSERT_TRUE(add(k / 30.0, static_cast<std::uint8_t>(k)));
  std::vector<int> asked;
  for (std::size_t i = 0; i < script->frameFlags.size(); ++i)
    if (script->frameFlags[i] & kCompressKeyFrame) asked.push_back(script->frameNumbers[i]);
  EXPECT_EQ(asked, c.keyFrames);

  // The stream's records carry the compressor's strip types.
  ASSERT_TRUE(encoder.closeStream());
  const WalkedStream stream = walkStream(path);
  ASSERT_TRUE(stream.complete);
  for (int n : c.keyFrames) EXPECT_EQ(stream.records.at(n).stripType, kIntraStrip) << "frame " << n;
}

INSTANTIATE_TEST_SUITE_P(
    Intervals, KeyFrameTest,
    ::testing::Values(KeyFrameCase{"none", 0, 0, {}, {}},
                      KeyFrameCase{"every_fifth_of_a_second", 0.2, 0, {}, {6, 12, 18}},
                      KeyFrameCase{"an_unasked_intra_frame_restarts_the_count", 0.2, 0, {4}, {10, 16}},
                      KeyFrameCase{"counted_in_output_frames", 0.2, 3, {}, {3, 6, 9}},
                      KeyFrameCase{"shorter_than_a_frame", 0.01, 5, {}, {1, 2, 3, 4, 5, 6}}),
    [](const auto& info) { return std::string(info.param.what); });

// Under a plan a key frame waits for a budget that holds the smallest intra
// frame, so a target size is never overshot by one; calm frames planned
// below it come first, a scene cut planned above it after them.
TEST_F(PacingTest, UnderAPlanAKeyFrameWaitsForABudgetThatHoldsIt) {
  const std::uint64_t floor = FrameEncoder::minFrameSize(240, 160, true);
  std::vector<FrameAnalysis> needs(20, FrameAnalysis{{floor / 4.0, floor / 4.0, floor / 4.0}});
  for (std::size_t n = 12; n < needs.size(); ++n) needs[n].bytes = FrameNeed{floor * 2.0, floor * 2.0, floor * 2.0};
  BudgetPlan plan(needs, 19 * floor, FrameSizeLimits{floor / 4, kFrameHeadersSize, kMaxFrameLength});
  ASSERT_TRUE(plan.feasible());
  encoder.setBudgetPlan(&plan);
  encoder.setKeyFrameInterval(0.2);  // every 6 frames at 30 frames/s
  script->frameLength = static_cast<std::uint32_t>(floor / 4);
  script->reshape = [&](std::int32_t n, std::vector<std::uint8_t>& frame) {
    frame[10] = n == 0 || (script->frameFlags.back() & kCompressKeyFrame) != 0 ? 0x10 : 0x11;
  };
  ASSERT_TRUE(open(SourceVideo{}, 20));
  for (int k = 0; k < 20; ++k) ASSERT_TRUE(add(k / 30.0, static_cast<std::uint8_t>(k)));

  ASSERT_LT(script->frameSizes.at(6), floor) << "the calm frame due a key frame must be planned below it";
  std::vector<int> asked;
  for (std::size_t i = 0; i < script->frameFlags.size(); ++i) {
    if ((script->frameFlags[i] & kCompressKeyFrame) == 0) continue;
    asked.push_back(script->frameNumbers[i]);
    EXPECT_GE(script->frameSizes[i], floor) << "frame " << script->frameNumbers[i];
  }
  ASSERT_FALSE(asked.empty());
  EXPECT_GT(asked.front(), 6);
}

// The stream encoder tells the plan what each frame really spent: what the
// first frames saved is spread over the later frames by the plan, not handed
// whole to the next frame, and the stream still ends within the allowance.
TEST_F(PacingTest, UnderAPlanWhatFramesSaveIsSpreadOverTheLaterFrames) {
  const std::uint64_t share = 4000;
  const std::vector<FrameAnalysis> needs(20, FrameAnalysis{{share * 2.0, share * 1.0, share / 2.0}});
  const std::uint64_t allowance = 20 * share;
  const BudgetPlan planned(needs, allowance, FrameSizeLimits{kFrameHeadersSize, kFrameHeadersSize, kMaxFrameLength});
  BudgetPlan plan = planned;
  encoder.setBudgetPlan(&plan);
  // The first five frames take 100 bytes whatever their budget, the rest all of it.
  script->reshape = [&](std::int32_t n, std::vector<std::uint8_t>& frame) {
    const std::uint32_t length = n < 5 ? 100 : std::max<std::uint32_t>(script->frameSizes.back(), kFrameHeadersSize);
    frame = makeCinepakFrame(length, 240, 160, n == 0 ? 0x1000 : 0x1100, static_cast<std::uint8_t>(n));
  };
  ASSERT_TRUE(open(SourceVideo{}, 20));
  for (int k = 0; k < 20; ++k) ASSERT_TRUE(add(k / 30.0, static_cast<std::uint8_t>(k)));
  ASSERT_TRUE(encoder.closeStream());

  ASSERT_EQ(script->frameSizes.size(), 20u);
  const std::uint64_t saved = planned.budgetFor(6, 5 * 100) - planned.share(6);
  EXPECT_LT(script->frameSizes[5], planned.share(6) + saved / 4);
  EXPECT_GT(script->frameSizes[5], planned.share(6));
  EXPECT_LE(encoder.bytesEncoded(), allowance);
  EXPECT_GT(encoder.bytesEncoded(), allowance - allowance / 50);
}

// A plan that knows where the key frames fall (the first pass coded them
// intra) keeps their smallest intra size for them, however little the
// price gives them: every key frame comes when it is due.
TEST_F(PacingTest, UnderAPlanThatKnowsTheKeyFramesTheyComeOnTime) {
  const std::uint64_t floor = FrameEncoder::minFrameSize(240, 160, true);
  std::vector<FrameAnalysis> needs(20, FrameAnalysis{{floor / 2.0, floor / 4.0, floor / 16.0}});
  for (const std::size_t key : {0, 6, 12, 18}) needs[key] = FrameAnalysis{{floor * 4.0, floor / 2.0, floor / 8.0}, {}, true};
  // The price that spends this leaves a key frame's need below its smallest size.
  BudgetPlan plan(needs, 8 * floor, FrameSizeLimits{floor, kFrameHeadersSize, kMaxFrameLength});
  ASSERT_TRUE(plan.feasible());
  encoder.setBudgetPlan(&plan);
  encoder.setKeyFrameInterval(0.2);  // every 6 frames at 30 frames/s
  // Every frame spends its whole budget.
  script->reshape = [&](std::int32_t n, std::vector<std::uint8_t>& frame) {
    const bool intra = n == 0 || (script->frameFlags.back() & kCompressKeyFrame) != 0;
    frame = makeCinepakFrame(std::max<std::uint32_t>(script->frameSizes.back(), kFrameHeadersSize), 240, 160,
                             intra ? 0x1000 : 0x1100, static_cast<std::uint8_t>(n));
  };
  ASSERT_TRUE(open(SourceVideo{}, 20));
  for (int k = 0; k < 20; ++k) ASSERT_TRUE(add(k / 30.0, static_cast<std::uint8_t>(k)));

  std::vector<int> asked;
  for (std::size_t i = 0; i < script->frameFlags.size(); ++i) {
    if ((script->frameFlags[i] & kCompressKeyFrame) == 0) continue;
    asked.push_back(script->frameNumbers[i]);
    EXPECT_GE(script->frameSizes[i], floor) << "frame " << script->frameNumbers[i];
  }
  EXPECT_EQ(asked, (std::vector<int>{6, 12, 18}));
  EXPECT_TRUE(encoder.closeStream());
  EXPECT_LE(encoder.bytesEncoded(), 8 * floor);
}

TEST_F(PacingTest, AShortDecodedFrameIsRefused) {
  ASSERT_TRUE(open(SourceVideo{}, 10));
  const auto frame = decodedFrame(1);
  EXPECT_FALSE(encoder.addVideoSample(0.0, frame.data(), static_cast<std::uint32_t>(frame.size() - 1)));
  EXPECT_TRUE(script->inputs.empty());
}

TEST_F(PacingTest, ARepeatBeforeAnyFrameFails) {
  ASSERT_TRUE(open(SourceVideo{}, 10));
  EXPECT_FALSE(encoder.addVideoSample(0.0, nullptr, 0));
  EXPECT_TRUE(script->inputs.empty());
}

}  // namespace
}  // namespace zepra::test
