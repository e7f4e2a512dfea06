// Key frames in a real stream: our compressor codes intra exactly the frames
// where the interval falls, and each of them is a place to start decoding:
// FFmpeg's Cinepak decoder started afresh at a key frame draws every later
// frame exactly as it does when it decodes from the first frame.

#include <gtest/gtest.h>

#include <cstring>

#include "encoder/stream_encoder.h"
#include "format/cinepak.h"
#include "platform/job_state.h"
#include "tests/cinepak/chunk_builder.h"
#include "tests/cinepak/ffmpeg_cinepak.h"
#include "tests/encoder/clip_encoding.h"
#include "tests/encoder/stream_walker.h"

namespace zepra {
namespace {

using Picture = std::vector<test::FfmpegPixel>;

bool samePicture(const Picture& a, const Picture& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& p, const auto& q) {
           return p.red == q.red && p.green == q.green && p.blue == q.blue;
         });
}

// FFmpeg's pictures of records `from` to the end, decoded by a fresh decoder.
std::vector<Picture> decodeFrom(const test::WalkedStream& stream, std::size_t from) {
  test::FfmpegCinepakDecoder decoder(stream.width, stream.height);
  std::vector<Picture> pictures;
  for (std::size_t k = from; k < stream.records.size(); ++k) {
    const test::StreamRecord& record = stream.records[k];
    const test::Bytes frame = test::frame(stream.width, stream.height, record.stripType, record.stripData);
    EXPECT_TRUE(decoder.decode(frame)) << "record " << k;
    pictures.push_back(decoder.picture());
  }
  return pictures;
}

TEST(KeyFrames, DecodingCanStartAtEveryKeyFrame) {
  notifyWindow = nullptr;
  jobCancelled = false;
  StreamEncoder encoder;
  encoder.setKeyFrameInterval(0.5);  // every 15 frames at 30 frames/s
  test::ClipToEncode clip;
  clip.width = 96;
  clip.height = 64;
  clip.frames = 40;
  clip.bitrate = 60;
  const std::string path = test::temporaryPath("key_frames.stream");
  ASSERT_TRUE(test::encodeClip(encoder, clip, path));
  const test::WalkedStream stream = test::walkStream(path);
  ASSERT_TRUE(stream.complete);
  ASSERT_EQ(stream.records.size(), 40u);

  for (std::size_t k = 0; k < stream.records.size(); ++k)
    EXPECT_EQ(stream.records[k].stripType, k % 15 == 0 ? kIntraStrip : kInterStrip) << "record " << k;

  const std::vector<Picture> whole = decodeFrom(stream, 0);
  for (std::size_t key : {15u, 30u}) {
    const std::vector<Picture> fromKey = decodeFrom(stream, key);
    for (std::size_t k = key; k < whole.size(); ++k)
      ASSERT_TRUE(samePicture(fromKey[k - key], whole[k])) << "from key frame " << key << ", record " << k;
  }
}

}  // namespace
}  // namespace zepra
