// Synthetic frames through the real compressor into a stream file, read back
// the way the console player reads it: every record must decode, with the
// reference decoder that draws what the player draws, to the frame that went
// in.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "cinepak/reference_decoder.h"
#include "encoder/stream_encoder.h"
#include "platform/job_state.h"
#include "tests/encoder/clip_encoding.h"
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
  test::ClipToEncode clip;
  clip.width = movie.width;
  clip.height = movie.height;
  clip.frames = movie.frames;
  clip.frameRateMode = movie.frameRateMode;
  clip.preFilter = kNoFilter;
  ASSERT_TRUE(test::encodeClip(encoder, clip, path));

  // The frames the stream should show, prepared as the encoder prepares them.
  FrameConverter converter;
  converter.configure({movie.width, movie.height, encoder.trim(), encoder.outputWidth(),
                       encoder.outputHeight(), kNoFilter, 1.0f});
  std::vector<std::vector<std::uint8_t>> shown;
  for (int k = 0; k < movie.frames; ++k) {
    if (!isSlotKept(encoder.frameSelection(), static_cast<std::uint32_t>(k + 1))) continue;
    converter.convert(test::movingSquareFrame(movie.width, movie.height, k).data());
    shown.emplace_back(converter.frame(), converter.frame() + converter.frameBytes());
  }

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
