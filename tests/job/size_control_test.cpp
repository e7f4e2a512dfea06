// The size estimate, the target size and the early refusals on real clips
// made with ffmpeg, converted by the real job.

#include <gtest/gtest.h>

#include <filesystem>

#include "cinepak/reference_decoder.h"
#include "job/conversion_job.h"
#include "job/size_estimate.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"
#include "player/player_image.h"
#include "tests/encoder/encoder_harness.h"
#include "tests/input/media_fixtures.h"

namespace zepra::test {
namespace {

namespace fs = std::filesystem;

// Twelve seconds, three very different scenes, sound under them.
const std::string kScenes =
    "-f lavfi -i testsrc2=size=160x120:rate=30:duration=4 "
    "-f lavfi -i mandelbrot=size=160x120:rate=30,trim=duration=4 "
    "-f lavfi -i smptebars=size=160x120:rate=30:duration=4,noise=alls=12:allf=t:all_seed=3 "
    "-f lavfi -i sine=frequency=300:duration=12 "
    "-filter_complex \"[0:v][1:v][2:v]concat=n=3:v=1:a=0,format=yuv420p[v]\" -map \"[v]\" -map 3:a "
    "-c:v libx264 -qp 4 -c:a aac";

class SizeControl : public ::testing::Test {
 protected:
  SizeControl() {
    resetJobState();
    notifyWindow = &window;
    job.inputPath = clips.make("scenes.mp4", kScenes);
    job.outputPath = clips.path("out.gba").string();
    job.bitrate = 60;
  }
  ~SizeControl() override { notifyWindow = nullptr; }

  int convert() {
    CancelSource cancel;
    return runConversionJob(job, cancel);
  }

  // Every record of the image decodes; the number of frames.
  std::uint32_t decodeImage() const {
    const std::vector<std::uint8_t> image = readFile(job.outputPath);
    std::size_t at = playerImage().size();
    const std::uint32_t frames = littleEndian32(&image.at(at));
    const std::uint32_t size = littleEndian32(&image.at(at + 8));
    ReferenceDecoder decoder(static_cast<int>(size & 0xFFFF), static_cast<int>(size >> 16));
    at += 12;
    for (std::uint32_t n = 0; n < frames; ++n) {
      const std::uint32_t word = littleEndian32(&image.at(at));
      const std::size_t length = word & 0xFFFF;
      EXPECT_TRUE(decoder.decodeStrip(static_cast<std::uint16_t>(word >> 16), {&image.at(at + 4), length - 4}))
          << "frame " << n;
      at += length;
    }
    return frames;
  }

  ClipFolder clips;
  RecordingWindow window;
  ConversionJob job;
};

TEST_F(SizeControl, TheEstimateBracketsTheRealImage) {
  ASSERT_FALSE(job.inputPath.empty());
  const std::optional<SizeEstimate> estimate = estimateImageSize(job, EstimateDepth::kSampled);
  ASSERT_TRUE(estimate) << lastErrorText();
  EXPECT_FALSE(fs::exists(job.outputPath));
  ASSERT_EQ(convert(), kJobOk) << lastErrorText();
  const std::uint64_t real = fs::file_size(job.outputPath);

  EXPECT_TRUE(estimate->sampled);
  EXPECT_NEAR(estimate->durationSeconds, 12.0, 0.2);
  EXPECT_GE(estimate->imageBytesMax, real);
  // The most the bitrate's running total allows, with the fixed parts.
  const std::uint64_t budget = static_cast<std::uint64_t>(60) * 1024 * estimate->shape.rate.scale *
                               estimate->shape.frames / estimate->shape.rate.rate;
  const std::uint64_t most = paddedImageBytes(unpaddedImageBytes(playerImage().size(), estimate->shape, budget));
  EXPECT_LE(estimate->imageBytesMax, most * 105 / 100);
  EXPECT_NEAR(static_cast<double>(estimate->imageBytesLikely), static_cast<double>(real), 0.2 * real);
  EXPECT_LE(estimate->imageBytesLowest, real);
}

// A burst of noise opens the clip, which the first budgets cannot refine: the
// stream learns a high price there and holds the calm scene after it back
// for seconds. Sampled with a cold price in every stretch, the scene cost a
// third more than the stream spends.
const std::string kNoisyStart =
    "-f lavfi -i \"nullsrc=size=160x120:rate=30,geq=random(1)*255:128:128,trim=duration=0.4\" "
    "-f lavfi -i mandelbrot=size=160x120:rate=30,trim=duration=10.6 "
    "-f lavfi -i sine=frequency=300:duration=11 "
    "-filter_complex \"[0:v][1:v]concat=n=2:v=1:a=0,format=yuv420p[v]\" -map \"[v]\" -map 2:a "
    "-c:v libx264 -qp 4 -c:a aac -t 11";

TEST_F(SizeControl, TheLikelySizeIsPricedAsTheStreamIsAfterItsStart) {
  job.inputPath = clips.make("noisy-start.mp4", kNoisyStart);
  ASSERT_FALSE(job.inputPath.empty());
  job.bitrate = 120;
  const std::optional<SizeEstimate> estimate = estimateImageSize(job, EstimateDepth::kSampled);
  ASSERT_TRUE(estimate) << lastErrorText();
  ASSERT_EQ(convert(), kJobOk) << lastErrorText();
  const double real = static_cast<double>(fs::file_size(job.outputPath));
  ASSERT_TRUE(estimate->sampled);
  // Long enough for the sample to take stretches rather than the whole video.
  ASSERT_GT(estimate->shape.frames, 150u);
  EXPECT_NEAR(static_cast<double>(estimate->imageBytesLikely), real, 0.2 * real);
}

TEST_F(SizeControl, ATargetIsNeverExceededAndNearlyFilled) {
  ASSERT_FALSE(job.inputPath.empty());
  job.fitBytes = 512 * 1024;
  ASSERT_EQ(convert(), kJobOk) << lastErrorText();
  const std::uint64_t size = fs::file_size(job.outputPath);
  EXPECT_LE(size, job.fitBytes);
  EXPECT_GE(size, job.fitBytes * 9 / 10);
  EXPECT_GT(decodeImage(), 170u);
}

TEST_F(SizeControl, TheBitrateATargetAmountsToKeepsASinglePassWithinIt) {
  ASSERT_FALSE(job.inputPath.empty());
  const std::optional<SizeEstimate> estimate = estimateImageSize(job, EstimateDepth::kLength);
  ASSERT_TRUE(estimate) << lastErrorText();
  const std::uint64_t target = 512 * 1024;
  const TargetFigures figures = targetFigures(estimate->shape, target);
  EXPECT_FALSE(figures.refusal);
  EXPECT_TRUE(figures.filled);
  EXPECT_LE(figures.imageBytes, target);
  ASSERT_GT(figures.bitrate, 1);
  job.bitrate = figures.bitrate;
  ASSERT_EQ(convert(), kJobOk) << lastErrorText();
  EXPECT_LE(fs::file_size(job.outputPath), target);
  // One more kilobyte a second could pass the target.
  EXPECT_GT(estimateForShape(estimate->shape, figures.bitrate + 1, playerImage().size(), std::nullopt).imageBytesMax,
            target);

  EXPECT_TRUE(targetFigures(estimate->shape, 96 * 1024).refusal);
  const TargetFigures roomy = targetFigures(estimate->shape, 32 * 1024 * 1024);
  EXPECT_FALSE(roomy.filled);
  EXPECT_EQ(roomy.bitrate, kBitrateRange.max);
}

TEST_F(SizeControl, ACancelledEstimateStopsWithoutCancellingAJob) {
  ASSERT_FALSE(job.inputPath.empty());
  CancelSource cancel;
  cancel.requestCancel();
  int failure = 0;
  EXPECT_FALSE(estimateImageSize(job, EstimateDepth::kSampled, createDecodingGraph, &failure, &cancel));
  EXPECT_FALSE(jobCancelled.load());
  EXPECT_TRUE(window.progress.empty());
  // The quick figures read no frame, so there is nothing to cancel.
  EXPECT_TRUE(estimateImageSize(job, EstimateDepth::kLength, createDecodingGraph, nullptr, &cancel));
}

TEST_F(SizeControl, TwoPassesStayWithinTheSinglePassAllowance) {
  ASSERT_FALSE(job.inputPath.empty());
  const std::optional<SizeEstimate> estimate = estimateImageSize(job, EstimateDepth::kLength);
  ASSERT_TRUE(estimate) << lastErrorText();
  job.twoPass = true;
  ASSERT_EQ(convert(), kJobOk) << lastErrorText();
  EXPECT_LE(fs::file_size(job.outputPath), estimate->imageBytesMax);
  EXPECT_EQ(decodeImage(), estimate->shape.frames);
}

TEST_F(SizeControl, ATargetTooSmallForTheSoundIsRefusedBeforeAnyFrame) {
  ASSERT_FALSE(job.inputPath.empty());
  job.fitBytes = 96 * 1024;
  EXPECT_EQ(convert(), kJobRomFailed);
  EXPECT_NE(lastErrorText().find("at most 0:0"), std::string::npos) << lastErrorText();
  EXPECT_TRUE(window.progress.empty());
  EXPECT_FALSE(fs::exists(job.outputPath));
}

TEST_F(SizeControl, AVideoTooLongForAnyCartridgeIsRefusedBeforeAnyFrame) {
  job.inputPath = clips.make("long.avi",
                             "-f lavfi -i color=size=16x16:rate=1:duration=3300 "
                             "-f lavfi -i anullsrc=sample_rate=4000:channel_layout=mono -t 3300 "
                             "-c:v ffv1 -c:a pcm_u8");
  ASSERT_FALSE(job.inputPath.empty());
  EXPECT_EQ(convert(), kJobRomFailed);
  EXPECT_NE(lastErrorText().find("32 MiB"), std::string::npos) << lastErrorText();
  EXPECT_NE(lastErrorText().find("at most 5"), std::string::npos) << lastErrorText();
  EXPECT_TRUE(window.progress.empty());
  EXPECT_FALSE(fs::exists(job.outputPath));
}

}  // namespace
}  // namespace zepra::test
