// A converted image end to end: frames and sound through the real stream
// encoder, the image written by the real ROM builder with the embedded
// player, then played in the emulator. The screen must show each record as
// the reference decoder draws it, and the sound must follow the trailer.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

#include "audio/adpcm_coder.h"
#include "encoder/stream_encoder.h"
#include "job/rom_builder.h"
#include "platform/job_state.h"
#include "player/host/console_emulator.h"
#include "player/player_image.h"
#include "tests/encoder/clip_encoding.h"
#include "tests/encoder/stream_walker.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

TEST(ConvertedImage, PlaysItsPicturesAndItsSound) {
  notifyWindow = nullptr;
  jobCancelled = false;
  constexpr int kFrames = 12;
  const std::string folder = std::filesystem::temp_directory_path() / ("zepra-player-e2e-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string streamPath = folder + "/movie.stream", imagePath = folder + "/movie.gba";

  StreamEncoder encoder;
  ClipToEncode clip;
  clip.width = 320;
  clip.height = 240;
  clip.frames = kFrames;
  clip.preFilter = 3;  // 4x dithering
  clip.bitrate = 200;
  clip.gamma = 1.33f;
  clip.soundRate = 44100;
  clip.soundSeconds = kFrames / 30.0;
  ASSERT_TRUE(encodeClip(encoder, clip, streamPath));
  const WalkedStream stream = walkStream(streamPath);
  ASSERT_TRUE(buildRomImage(imagePath, stream.bytes, "E2E TEST", playerImage()));  // as the job does
  const Bytes image = readFileBytes(imagePath);
  std::filesystem::remove_all(folder);

  ASSERT_TRUE(stream.complete);
  ASSERT_EQ(stream.records.size(), static_cast<std::size_t>(kFrames));
  ASSERT_EQ(stream.width, 212) << "4:3 fitted to the screen";
  ReferenceDecoder decoder(stream.width, stream.height);
  std::vector<std::vector<std::uint16_t>> screens;
  for (const StreamRecord& r : stream.records) {
    ASSERT_TRUE(decoder.decodeStrip(r.stripType, r.stripData));
    screens.push_back(centredScreen(decoder.picture(), stream.width, stream.height));
  }

  std::string error;
  auto console = ConsoleEmulator::load(image, error);
  ASSERT_NE(console, nullptr) << error;
  std::vector<int> shown;
  for (int r = 0; r < 2 * kFrames + 4; ++r) {
    console->runRefresh();
    const auto screen = console->screen();
    int frame = -1;
    for (int k = kFrames - 1; k >= 0 && frame < 0; --k)
      if (std::equal(screens[k].begin(), screens[k].end(), screen.begin())) frame = k;
    shown.push_back(frame);
  }
  // Every record appears pixel for pixel, in order, two refreshes each (30
  // fps); then the movie starts again.
  int expected = 0;
  for (int frame : shown) {
    if (frame < 0 || frame == expected - 1) continue;
    if (expected == kFrames) {
      EXPECT_EQ(frame, 0) << "the repeat starts with the first frame";
      break;
    }
    ASSERT_EQ(frame, expected) << "frames shown: " << testing::PrintToString(shown);
    ++expected;
  }
  EXPECT_EQ(expected, kFrames) << testing::PrintToString(shown);
  for (int k = 1; k < kFrames; ++k)
    EXPECT_EQ(std::count(shown.begin(), shown.end(), k), 2) << "frame " << k << ": " << testing::PrintToString(shown);

  // The sound is the trailer's, one block per refresh: compare the loudness
  // per refresh, which the emulator's resampling leaves intact.
  AdpcmCoder coder;
  std::vector<double> wantLevel;
  for (std::size_t i = 0; i < stream.blocks.size(); i += 176) {
    double sum = 0;
    for (std::size_t j = i; j < i + 176; ++j)
      for (int code : {stream.blocks[j] & 15, stream.blocks[j] >> 4}) {
        coder.adpcmUpdate(code);
        sum += std::abs(coder.adpcmPredictor >> 2);
      }
    wantLevel.push_back(sum);
  }
  EXPECT_GT(wantLevel.back() + wantLevel[wantLevel.size() / 2], 0.0);
  // Enough of the run is in the emulator's buffer from refresh 0 on.
  auto console2 = ConsoleEmulator::load(image, error);
  std::vector<double> gotLevel;
  for (std::size_t r = 0; r < wantLevel.size() + 4; ++r) {
    console2->runRefresh();
    double sum = 0;
    for (auto s : console2->takeSound()) sum += std::abs(s);
    gotLevel.push_back(sum);
  }
  // Block k plays in refresh k + 3 or so: find the lag, then the envelopes must agree.
  double best = -1;
  for (int lag = 0; lag <= 4; ++lag) {
    double sxy = 0, sxx = 0, syy = 0;
    for (std::size_t k = 0; k + 1 < wantLevel.size(); ++k) {
      sxy += gotLevel[k + lag] * wantLevel[k];
      sxx += gotLevel[k + lag] * gotLevel[k + lag];
      syy += wantLevel[k] * wantLevel[k];
    }
    best = std::max(best, sxy / std::sqrt(sxx * syy));
  }
  EXPECT_GT(best, 0.98);
}

}  // namespace
}  // namespace zepra::test
