// A two-pass stream spends far more on a scene cut than the bitrate's share;
// the player must still decode every frame in time. A 240x160 clip at 30
// frames per second with hard cuts, converted in two passes by the real job
// at a high bitrate, played in the emulator: no frame is late. Cycles are
// the emulator's, so the figures are exact and repeatable.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "job/conversion_job.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"
#include "player/host/console_emulator.h"
#include "player/player_image.h"
#include "tests/player/player_probe.h"

namespace zepra::test {
namespace {

namespace fs = std::filesystem;

TEST(TwoPassTiming, EveryFrameOfACutHeavyStreamDecodesInTimeAtThirtyFramesASecond) {
  const fs::path folder = fs::temp_directory_path() / ("zepra-two-pass-" + std::to_string(getpid()));
  fs::create_directories(folder);
  const fs::path clip = folder / "cuts.avi";
  const std::string command =
      "ffmpeg -nostdin -loglevel error -y "
      "-f lavfi -i mandelbrot=size=240x160:rate=30,trim=duration=1 "
      "-f lavfi -i testsrc2=size=240x160:rate=30:duration=1 "
      "-f lavfi -i smptebars=size=240x160:rate=30:duration=1,noise=alls=30:allf=t:all_seed=5 "
      "-f lavfi -i sine=duration=3 "
      "-filter_complex \"[0:v][1:v][2:v]concat=n=3:v=1:a=0,format=bgr0[v]\" -map \"[v]\" -map 3:a "
      "-c:v ffv1 -c:a pcm_s16le '" + clip.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);

  ConversionJob job;
  job.inputPath = clip.string();
  job.outputPath = (folder / "cuts.gba").string();
  job.frameRateIndex = FrameRateChoice::kOriginal;  // all 30 frames a second
  job.bitrate = 300;
  job.twoPass = true;
  notifyWindow = nullptr;
  CancelSource cancel;
  ASSERT_EQ(runConversionJob(job, cancel), kJobOk) << lastErrorText();

  std::ifstream in(job.outputPath, std::ios::binary);
  const std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), {});
  const std::size_t stream = playerImage().size();
  ASSERT_GT(image.size(), stream + 12);
  const std::uint32_t frames = image[stream] | image[stream + 1] << 8 | image[stream + 2] << 16 |
                               static_cast<std::uint32_t>(image[stream + 3]) << 24;
  std::size_t at = stream + 12, largest = 0;
  for (std::uint32_t n = 0; n < frames; ++n) {
    const std::size_t length = image[at] | image[at + 1] << 8;
    largest = std::max(largest, length);
    at += length;
  }

  std::string error;
  auto console = ConsoleEmulator::load(image, error);
  ASSERT_NE(console, nullptr) << error;
  const auto costs = measureDecoding(*console, static_cast<int>(frames));
  ASSERT_EQ(costs.size(), frames);
  std::uint64_t worst = 0;
  for (std::size_t f = 0; f < costs.size(); ++f) {
    worst = std::max(worst, costs[f].decodeCycles);
    EXPECT_FALSE(costs[f].late) << "frame " << f << " was late";
  }
  std::printf("two-pass stream: largest record %zu bytes, slowest decode %llu cycles\n", largest,
              static_cast<unsigned long long>(worst));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace zepra::test
