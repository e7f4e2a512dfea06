// A converted image end to end: frames and sound through the real stream
// encoder, the image written by the real ROM builder with the embedded
// player, then played in the emulator. The screen must show each record as
// the reference decoder draws it, and the sound must follow the trailer.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <unistd.h>

#include "audio/adpcm_coder.h"
#include "encoder/stream_encoder.h"
#include "job/rom_builder.h"
#include "platform/job_state.h"
#include "player/host/console_emulator.h"
#include "player/player_image.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

std::uint32_t le32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

Bytes readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The stream as the player walks it.
struct ReadStream {
  std::uint32_t playbackStep = 0;
  int width = 0, height = 0;
  std::vector<FrameRecord> records;
  Bytes trailerBlocks;
};

ReadStream walk(const Bytes& s) {
  ReadStream out;
  const std::uint32_t frames = le32(s, 0);
  out.playbackStep = le32(s, 4);
  out.width = static_cast<int>(le32(s, 8) & 0xFFFF);
  out.height = static_cast<int>(le32(s, 8) >> 16);
  std::size_t at = 12;
  for (std::uint32_t k = 0; k < frames; ++k) {
    const std::uint32_t word = le32(s, at);
    const std::size_t length = word & 0xFFFF;
    out.records.push_back({static_cast<std::uint16_t>(word >> 16), Bytes(s.begin() + at + 4, s.begin() + at + length)});
    at += length;
  }
  const std::uint32_t blocks = le32(s, at);
  out.trailerBlocks.assign(s.begin() + at + 4, s.begin() + at + 4 + blocks * 176);
  return out;
}

std::vector<std::uint8_t> movingPicture(int width, int height, int index) {
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  std::vector<std::uint8_t> frame(stride * height);
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) {
      std::uint8_t* p = &frame[r * stride + 3 * c];
      const bool square = c >= 10 + 9 * index && c < 70 + 9 * index && r >= 40 && r < 90;
      p[0] = static_cast<std::uint8_t>(square ? 30 : 60 + 120 * r / height);
      p[1] = static_cast<std::uint8_t>(square ? 200 : 40 + 150 * c / width);
      p[2] = static_cast<std::uint8_t>(square ? 250 : 180 - 100 * c / width);
    }
  return frame;
}

TEST(ConvertedImage, PlaysItsPicturesAndItsSound) {
  notifyWindow = nullptr;
  jobCancelled = false;
  constexpr int kFrames = 12;
  const std::string folder = std::filesystem::temp_directory_path() / ("zepra-player-e2e-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string streamPath = folder + "/movie.stream", imagePath = folder + "/movie.gba";

  StreamEncoder encoder;
  const int trim[4] = {};
  ASSERT_TRUE(encoder.setOutputName(streamPath.c_str()));
  ASSERT_TRUE(encoder.setOptions(trim, false, -1, -1, 0, 3, 200, 1.33f));  // 4x dithering, gamma on
  VideoInfoHeader video;
  video.AvgTimePerFrame = 333333;  // 30 frames/s
  video.bmiHeader.biWidth = 320;
  video.bmiHeader.biHeight = 240;
  ASSERT_TRUE(encoder.acceptVideoFormat(video));
  WaveFormatEx sound;
  sound.nChannels = 1;
  sound.wBitsPerSample = 16;
  sound.nBlockAlign = 2;
  sound.nSamplesPerSec = 44100;
  sound.nAvgBytesPerSec = 2 * 44100;
  ASSERT_TRUE(encoder.acceptAudioFormat(sound));
  ASSERT_TRUE(encoder.openStream(kFrames));
  Bytes tone;
  for (int i = 0; i < 44100 * kFrames / 30; ++i) {
    const double t = i / 44100.0;
    const auto s = static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * 300 * t) * (0.3 + t));
    tone.push_back(static_cast<std::uint8_t>(s & 0xFF));
    tone.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
  }
  encoder.addAudioBuffer(tone.data(), static_cast<std::uint32_t>(tone.size()));
  for (int k = 0; k < kFrames; ++k) {
    const auto frame = movingPicture(320, 240, k);
    ASSERT_TRUE(encoder.addVideoSample(k / 30.0, frame.data(), static_cast<std::uint32_t>(frame.size())));
  }
  ASSERT_TRUE(encoder.closeStream());
  const Bytes streamBytes = readFile(streamPath);
  ASSERT_TRUE(buildRomImage(imagePath, streamBytes, "E2E TEST", playerImage()));  // as the job does
  const Bytes image = readFile(imagePath);
  std::filesystem::remove_all(folder);

  const ReadStream stream = walk(streamBytes);
  ASSERT_EQ(stream.records.size(), static_cast<std::size_t>(kFrames));
  ASSERT_EQ(stream.width, 212) << "4:3 fitted to the screen";
  ReferenceDecoder decoder(stream.width, stream.height);
  std::vector<std::vector<std::uint16_t>> screens;
  for (const FrameRecord& r : stream.records) {
    ASSERT_TRUE(decoder.decodeStrip(r.stripType, r.chunks));
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
  for (std::size_t i = 0; i < stream.trailerBlocks.size(); i += 176) {
    double sum = 0;
    for (std::size_t j = i; j < i + 176; ++j)
      for (int code : {stream.trailerBlocks[j] & 15, stream.trailerBlocks[j] >> 4}) {
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
