// Synthetic frames through the real compressor into a stream file, read back
// the way the console player reads it: every record must decode, with the
// reference decoder that draws what the player draws, to the frame that went
// in.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>

#include "cinepak/reference_decoder.h"
#include "encoder/stream_encoder.h"
#include "platform/job_state.h"
#include "tests/encoder/stream_walker.h"
#include "video/frame_converter.h"

namespace zepra {
namespace {

struct Movie {
  const char* what;
  int width;
  int height;
  int frameRateMode;
  int frames;
  int expectedWidth;
  int expectedHeight;
  std::uint32_t expectedRecords;
};

// A smooth colour field with a bright square that moves, so later frames
// differ from earlier ones where the square passes.
std::vector<std::uint8_t> syntheticFrame(int width, int height, int index) {
  const std::size_t stride = sourceRowBytes(width);
  std::vector<std::uint8_t> frame(stride * height, 0);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      std::uint8_t* p = &frame[r * stride + 3 * c];
      const bool square = c >= 20 + 8 * index && c < 60 + 8 * index && r >= 30 && r < 70;
      p[0] = static_cast<std::uint8_t>(square ? 250 : 40 + 150 * r / height);
      p[1] = static_cast<std::uint8_t>(square ? 240 : 60 + 120 * c / width);
      p[2] = static_cast<std::uint8_t>(square ? 30 : 200 - 150 * c / width);
    }
  }
  return frame;
}

// Mean difference, in the console's 5-bit levels, between a prepared frame
// (bottom-up BGR) and a decoded picture (top row first, red in the low bits).
double meanLevelError(const std::uint8_t* prepared, std::span<const std::uint16_t> picture,
                      int width, int height) {
  double total = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = prepared + ((height - 1 - y) * width + x) * 3;
      const std::uint16_t shown = picture[y * width + x];
      total += std::abs((p[2] >> 3) - (shown & 31)) + std::abs((p[1] >> 3) - ((shown >> 5) & 31)) +
               std::abs((p[0] >> 3) - ((shown >> 10) & 31));
    }
  }
  return total / (3.0 * width * height);
}

class EndToEndTest : public ::testing::TestWithParam<Movie> {
 protected:
  void SetUp() override {
    notifyWindow = nullptr;
    jobCancelled = false;
  }
};

TEST_P(EndToEndTest, EveryRecordDecodesToTheFrameThatWentIn) {
  const Movie& movie = GetParam();
  const std::string path = test::temporaryPath("movie.stream");
  StreamEncoder encoder;
  const int trim[4] = {};
  ASSERT_TRUE(encoder.setOutputName(path.c_str()));
  ASSERT_TRUE(encoder.setOptions(trim, false, -1, -1, movie.frameRateMode, kNoFilter, 150, 1.0f));
  VideoInfoHeader video;
  video.AvgTimePerFrame = 333333;  // 30 frames/s
  video.bmiHeader.biWidth = movie.width;
  video.bmiHeader.biHeight = movie.height;
  ASSERT_TRUE(encoder.acceptVideoFormat(video));
  WaveFormatEx sound;
  sound.nChannels = 1;
  sound.wBitsPerSample = 16;
  sound.nBlockAlign = 2;
  sound.nSamplesPerSec = 21024;
  sound.nAvgBytesPerSec = 2 * 21024;
  ASSERT_TRUE(encoder.acceptAudioFormat(sound));
  ASSERT_TRUE(encoder.openStream(static_cast<std::uint32_t>(movie.frames)));

  // One second of a 440 Hz tone.
  std::vector<std::uint8_t> tone;
  for (int i = 0; i < 21024; ++i) {
    const auto s = static_cast<std::int16_t>(8000 * std::sin(2 * std::numbers::pi * 440 * i / 21024.0));
    tone.push_back(static_cast<std::uint8_t>(s & 0xFF));
    tone.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
  }
  encoder.addAudioBuffer(tone.data(), static_cast<std::uint32_t>(tone.size()));

  // The frames the stream should show, prepared as the encoder prepares them.
  FrameConverter converter;
  converter.configure({movie.width, movie.height, encoder.trim(), encoder.outputWidth(),
                       encoder.outputHeight(), kNoFilter, 1.0f});
  std::vector<std::vector<std::uint8_t>> shown;
  for (int k = 0; k < movie.frames; ++k) {
    const auto frame = syntheticFrame(movie.width, movie.height, k);
    ASSERT_TRUE(encoder.addVideoSample(k / 30.0, frame.data(), static_cast<std::uint32_t>(frame.size())));
    if (isSlotKept(encoder.frameSelection(), static_cast<std::uint32_t>(k + 1))) {
      converter.convert(frame.data());
      shown.emplace_back(converter.frame(), converter.frame() + converter.frameBytes());
    }
  }
  ASSERT_TRUE(encoder.closeStream());

  const test::WalkedStream stream = test::walkStream(path);
  ASSERT_TRUE(stream.complete);
  EXPECT_EQ(stream.width, movie.expectedWidth);
  EXPECT_EQ(stream.height, movie.expectedHeight);
  EXPECT_EQ(stream.playbackStep, encoder.playbackStep());
  ASSERT_EQ(stream.frameCount, movie.expectedRecords);
  ASSERT_EQ(shown.size(), movie.expectedRecords);
  ASSERT_TRUE(stream.hasTrailer);
  EXPECT_GE(stream.blockCount, 60u) << "a second of sound needs 60 blocks";

  ReferenceDecoder decoder(stream.width, stream.height);
  EXPECT_EQ(stream.records.front().stripType, kIntraStrip);
  for (std::size_t k = 0; k < stream.records.size(); ++k) {
    const test::StreamRecord& record = stream.records[k];
    ASSERT_TRUE(decoder.decodeStrip(record.stripType, record.stripData)) << "record " << k;
    ASSERT_EQ(decoder.picture().size(), std::size_t{stream.width} * stream.height);
    // Close to its own frame, and closer to it than to the next one, which
    // differs only where the square moved.
    const double error = meanLevelError(shown[k].data(), decoder.picture(), stream.width, stream.height);
    const double otherError = meanLevelError(shown[(k + 1) % shown.size()].data(), decoder.picture(),
                                             stream.width, stream.height);
    EXPECT_LT(error, 1.0) << "record " << k;
    EXPECT_LT(error, otherError) << "record " << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Movies, EndToEndTest,
    ::testing::Values(Movie{"screen_size_every_frame", 240, 160, 0, 6, 240, 160, 6},
                      Movie{"vga_quarter_halved", 320, 240, 3, 7, 212, 160, 4}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace zepra
