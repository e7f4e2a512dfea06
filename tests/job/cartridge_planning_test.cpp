// Planning a whole cartridge on real clips made with ffmpeg and converted by
// the real job: the estimate against the image really written.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "job/cartridge_estimate.h"
#include "job/cartridge_job.h"
#include "job/cartridge_layout.h"
#include "job/cartridge_share.h"
#include "job/rom_builder.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"
#include "player/player_image.h"
#include "tests/encoder/encoder_harness.h"
#include "tests/input/media_fixtures.h"

namespace zepra::test {
namespace {

namespace fs = std::filesystem;

// Short clips of different kinds and lengths, each with sound.
std::string clipArguments(const std::string& video, int seconds) {
  const std::string d = std::to_string(seconds);
  return "-f lavfi -i " + video + ",trim=duration=" + d + " -f lavfi -i sine=frequency=440:duration=" + d +
         " -pix_fmt yuv420p -c:v libx264 -qp 4 -c:a aac";
}

class CartridgePlanning : public ::testing::Test {
 protected:
  CartridgePlanning() {
    resetJobState();
    notifyWindow = &window;
    job.outputPath = clips.path("cart.gba").string();
    job.bitrate = 60;
  }
  ~CartridgePlanning() override { notifyWindow = nullptr; }

  // Three clips: a test pattern, noise (busy), a calm colour field.
  std::vector<CartridgeInput> threeClips() const {
    return {{clips.make("pattern.mp4", clipArguments("testsrc2=size=160x120:rate=25", 3)), ""},
            {clips.make("noise.mp4", clipArguments("cellauto=size=160x120:rate=25", 2)), ""},
            {clips.make("calm.mp4", clipArguments("color=c=navy:size=160x120:rate=25", 4)), ""}};
  }

  int convert(std::span<const CartridgeInput> inputs) {
    CancelSource cancel;
    return runCartridgeJob(job, inputs, cancel);
  }

  ClipFolder clips;
  RecordingWindow window;
  ConversionJob job;
};

TEST_F(CartridgePlanning, TheEstimateBracketsTheRealCartridge) {
  const std::vector<CartridgeInput> inputs = threeClips();
  for (const CartridgeInput& input : inputs) ASSERT_FALSE(input.inputPath.empty());
  const std::optional<CartridgeEstimate> estimate = estimateCartridgeSize(job, inputs, EstimateDepth::kSampled);
  ASSERT_TRUE(estimate) << lastErrorText();
  EXPECT_FALSE(fs::exists(job.outputPath));
  ASSERT_EQ(convert(inputs), kJobOk) << lastErrorText();
  const std::uint64_t real = fs::file_size(job.outputPath);

  ASSERT_EQ(estimate->videos.size(), 3u);
  EXPECT_TRUE(estimate->sampled);
  EXPECT_NEAR(estimate->durationSeconds, 9.0, 0.3);
  EXPECT_EQ(estimate->playerBytes, playerImage().size());
  EXPECT_GT(estimate->directoryBytes, 0u);
  EXPECT_LE(estimate->imageBytesLowest, real);
  EXPECT_GE(estimate->imageBytesMax, real);
  EXPECT_NEAR(static_cast<double>(estimate->imageBytesLikely), static_cast<double>(real), 0.2 * real);
  EXPECT_EQ(estimate->cartridgeMax, 4 * kMiB);
  // Together they weigh more than each alone, less than all their images.
  std::uint64_t separate = 0;
  for (const SizeEstimate& video : estimate->videos) {
    EXPECT_GT(estimate->imageBytesMax, video.imageBytesMax);
    separate += video.imageBytesMax;
  }
  EXPECT_LT(estimate->imageBytesMax, separate);
}

TEST_F(CartridgePlanning, ATargetHoldsTheWholeCartridgeAndIsNearlyFilled) {
  const std::vector<CartridgeInput> inputs = {
      {clips.make("pattern.mp4", clipArguments("testsrc2=size=160x120:rate=25", 3)), ""},
      {clips.make("zoom.mp4", clipArguments("mandelbrot=size=160x120:rate=25", 2)), ""},
      {clips.make("grain.mp4", clipArguments("smptebars=size=160x120:rate=25,noise=alls=12:allf=t", 4)), ""}};
  for (const CartridgeInput& input : inputs) ASSERT_FALSE(input.inputPath.empty());
  job.fitBytes = 512 * 1024;
  // The estimate shares the target as the job does.
  const std::optional<CartridgeEstimate> estimate = estimateCartridgeSize(job, inputs, EstimateDepth::kSampled);
  ASSERT_TRUE(estimate) << lastErrorText();
  ASSERT_EQ(convert(inputs), kJobOk) << lastErrorText();
  const std::uint64_t size = fs::file_size(job.outputPath);
  EXPECT_LE(size, job.fitBytes);
  EXPECT_GE(size, job.fitBytes * 9 / 10);
  EXPECT_LE(estimate->imageBytesMax, job.fitBytes);
  EXPECT_GE(estimate->imageBytesMax, size);
  EXPECT_NEAR(static_cast<double>(estimate->imageBytesLikely), static_cast<double>(size), 0.2 * size);
}

TEST(CartridgeEstimate, OneVideoIsItsOwnImageAndSeveralShareTheLongestDuration) {
  StreamShape shape;
  shape.frames = 15 * 600;
  shape.rate = {15, 1};
  shape.width = 240;
  shape.height = 160;
  const SizeEstimate alone = estimateForShape(shape, 120, playerImage().size(), 200'000);
  const CartridgeEstimate one = combineEstimates({alone}, playerImage().size());
  EXPECT_EQ(one.directoryBytes, 0u);
  EXPECT_EQ(one.imageBytesLowest, alone.imageBytesLowest);
  EXPECT_EQ(one.imageBytesLikely, alone.imageBytesLikely);
  EXPECT_EQ(one.imageBytesMax, alone.imageBytesMax);
  EXPECT_EQ(one.longestFittingSeconds, alone.longestFittingSeconds);

  // Two halves of the video last together about as long as it could alone:
  // only a directory and a second stream header more.
  StreamShape half = shape;
  half.frames /= 2;
  const SizeEstimate part = estimateForShape(half, 120, playerImage().size(), 100'000);
  const CartridgeEstimate two = combineEstimates({part, part}, playerImage().size());
  EXPECT_DOUBLE_EQ(two.durationSeconds, 600.0);
  EXPECT_LT(two.longestFittingSeconds, alone.longestFittingSeconds);
  EXPECT_GT(two.longestFittingSeconds, alone.longestFittingSeconds - 1.0);
  EXPECT_GT(two.imageBytesMax, alone.imageBytesMax - kRomAlignment);
  EXPECT_LE(two.imageBytesMax, alone.imageBytesMax + kRomAlignment);
  EXPECT_EQ(two.cartridgeMax, smallestCartridgeFor(two.imageBytesMax));
}

StreamShape shapeOf(std::uint32_t frames, std::uint32_t rate = 15, int width = 240, int height = 160) {
  StreamShape shape;
  shape.frames = frames;
  shape.rate = {rate, 1};
  shape.width = width;
  shape.height = height;
  return shape;
}

TEST(CartridgeShare, TheBytesLeftAreSharedByLengthWithinTheHighestBitrate) {
  struct Case {
    const char* what;
    std::vector<StreamShape> shapes;
    std::uint64_t streamBytes;
  };
  const std::vector<Case> cases = {
      {"equal videos", {shapeOf(900), shapeOf(900)}, 4 * kMiB},
      {"one twice as long", {shapeOf(600), shapeOf(1200), shapeOf(300, 15, 120, 80)}, 6 * kMiB},
      {"a fast one at the highest bitrate", {shapeOf(300, 30), shapeOf(300, 6)}, 16 * kMiB},
      {"all at the highest bitrate", {shapeOf(30), shapeOf(60, 30)}, 16 * kMiB},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<std::uint64_t> share = shareFrameBytes(c.shapes, c.streamBytes);
    ASSERT_EQ(share.size(), c.shapes.size());
    std::uint64_t total = 0, frames = 0, highest = 0;
    for (std::size_t i = 0; i < share.size(); ++i) {
      const std::uint64_t most = largestFrameBytes(c.shapes[i], kHighestBitrate);
      EXPECT_GE(share[i], smallestFrameBytes(c.shapes[i]));
      EXPECT_LE(share[i], most);
      total += unpaddedImageBytes(0, c.shapes[i], share[i]);
      frames += c.shapes[i].frames;
      highest += unpaddedImageBytes(0, c.shapes[i], most);
    }
    EXPECT_LE(total, c.streamBytes);
    // Everything is used, unless every stream is at the highest bitrate.
    EXPECT_GE(total + share.size(), std::min(c.streamBytes, highest));
    // Streams below the highest bitrate get the same bytes a frame.
    std::vector<double> perFrame;
    for (std::size_t i = 0; i < share.size(); ++i)
      if (share[i] < largestFrameBytes(c.shapes[i], kHighestBitrate))
        perFrame.push_back(static_cast<double>(share[i] - smallestFrameBytes(c.shapes[i])) / c.shapes[i].frames);
    for (double each : perFrame) EXPECT_NEAR(each, perFrame.front(), 1.0);
  }
  // Not even the smallest frames fit.
  EXPECT_TRUE(shareFrameBytes(std::vector{shapeOf(15 * 600)}, 1 * kMiB).empty());
}

// A target over several videos: each video's largest is its share when the
// ones before it take their least, and what they leave flows on to the later
// ones; together they never pass the target.
TEST(CartridgeEstimate, ATargetIsSharedAsTheCartridgeJobSharesIt) {
  struct Case {
    const char* what;
    std::vector<StreamShape> shapes;
    std::vector<std::uint64_t> sampled;  // what each video's frames take unhindered
    std::uint64_t fitBytes;
    bool filled;  // the largest image fills the target
  };
  const std::vector<Case> cases = {
      {"two busy videos", {shapeOf(900), shapeOf(450, 30)}, {50'000'000, 50'000'000}, 4 * kMiB, true},
      {"a calm first leaves bytes to the second", {shapeOf(900), shapeOf(900)}, {100'000, 50'000'000}, 4 * kMiB,
       true},
      {"three at the highest bitrate", {shapeOf(30), shapeOf(60), shapeOf(45, 30)}, {1, 1, 1}, 32 * kMiB, false},
  };
  const std::uint64_t player = playerImage().size();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<SizeEstimate> videos;
    for (std::size_t i = 0; i < c.shapes.size(); ++i)
      videos.push_back(estimateForShape(c.shapes[i], 120, player, c.sampled[i]));
    const CartridgeEstimate e = combineEstimates(videos, player, c.fitBytes);
    EXPECT_LE(e.imageBytesMax, c.fitBytes);
    EXPECT_EQ(e.imageBytesMax == usableImageBytes(c.fitBytes), c.filled) << e.imageBytesMax;
    EXPECT_LE(e.imageBytesLikely, e.imageBytesMax);
    EXPECT_LE(e.imageBytesLowest, e.imageBytesLikely);
    // The first video's largest is what the job allows it.
    const std::uint64_t first = streamFrameAllowance(c.shapes[0], std::span(c.shapes).subspan(1), c.fitBytes,
                                                     nextStreamOffset(player, c.shapes.size(), {}));
    EXPECT_EQ(e.videos[0].streamBytesMax, unpaddedImageBytes(0, c.shapes[0], first));
    for (const SizeEstimate& video : e.videos) EXPECT_GE(video.bitrate, 1);
  }
  // A calm first video: the second gets more than its share of a full first.
  const CartridgeEstimate calm = combineEstimates(
      {estimateForShape(shapeOf(900), 120, player, 100'000), estimateForShape(shapeOf(900), 120, player, 50'000'000)},
      player, 4 * kMiB);
  const CartridgeEstimate busy = combineEstimates(
      {estimateForShape(shapeOf(900), 120, player, 50'000'000),
       estimateForShape(shapeOf(900), 120, player, 50'000'000)},
      player, 4 * kMiB);
  EXPECT_GT(calm.videos[1].streamBytesLikely, busy.videos[1].streamBytesLikely);
  EXPECT_GT(calm.videos[1].bitrate, busy.videos[1].bitrate);
}

TEST_F(CartridgePlanning, AnInputThatCannotBeReadIsNamed) {
  std::vector<CartridgeInput> inputs = threeClips();
  const std::string garbage = clips.path("garbage.mp4").string();
  std::ofstream(garbage) << "not a video at all";
  inputs[1].inputPath = garbage;
  EXPECT_FALSE(estimateCartridgeSize(job, inputs, EstimateDepth::kLength));
  EXPECT_EQ(lastErrorText().rfind("\"" + garbage + "\": ", 0), 0u) << lastErrorText();
  EXPECT_FALSE(estimateCartridgeSize(job, {}, EstimateDepth::kLength));
}

}  // namespace
}  // namespace zepra::test
