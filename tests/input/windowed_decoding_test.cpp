// A run limited to windows must hand over exactly what decoding through
// hands over inside them: the same frames, times and pictures, whether it
// got there by seeking, by reading on, or by starting over after a seek it
// could not trust.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "input/decoding_graph.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"
#include "tests/input/media_fixtures.h"

namespace zepra {
namespace {

using test::ClipFolder;
using test::RecordingSink;

struct Picture {
  double time;
  std::vector<std::uint8_t> pixels;
};

// Keeps every picture whole.
class PictureSink : public RecordingSink {
 public:
  bool addVideoSample(double time, const std::uint8_t* data, std::uint32_t length) override {
    pictures.push_back({time, std::vector<std::uint8_t>(data, data + length)});
    return RecordingSink::addVideoSample(time, data, length);
  }
  std::vector<Picture> pictures;
};

struct Decoding {
  bool ran = false;
  std::vector<Picture> pictures;
  std::size_t soundBytes = 0;
  WindowedRun how;
};

Decoding decode(const std::string& clip, const std::vector<DecodingWindow>& windows) {
  resetJobState();
  PictureSink sink;
  Decoding d;
  auto graph = createDecodingGraph();
  if (!graph->buildDecodingGraph(clip, sink)) return d;
  if (!windows.empty()) graph->decodeOnly(windows);
  d.ran = graph->runDecodingGraph(CancelSource());
  d.how = graph->windowedRun();
  graph->releaseDecodingGraph();
  d.pictures = std::move(sink.pictures);
  d.soundBytes = sink.sound.size();
  return d;
}

std::vector<Picture> inside(const std::vector<Picture>& all, const std::vector<DecodingWindow>& windows) {
  std::vector<Picture> kept;
  for (const Picture& p : all) {
    for (const DecodingWindow& w : windows) {
      if (p.time >= w.start && p.time < w.end) kept.push_back(p);
    }
  }
  return kept;
}

void expectSamePictures(const std::vector<Picture>& expected, const std::vector<Picture>& got) {
  ASSERT_EQ(got.size(), expected.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].time, expected[i].time) << "picture " << i;
    EXPECT_TRUE(got[i].pixels == expected[i].pixels) << "picture " << i << " at " << got[i].time;
  }
}

// Eight seconds of moving picture with sound, a key frame every second.
const std::string kSource =
    "-f lavfi -i testsrc2=size=64x48:rate=25:duration=8 "
    "-f lavfi -i sine=frequency=440:sample_rate=22050:duration=8 -g 25 ";
// Windows far enough apart for a seek, one at the very start and one
// running past the end.
const std::vector<DecodingWindow> kWindows = {{0.0, 0.3}, {2.3, 2.7}, {4.52, 5.0}, {6.1, 6.3}, {7.5, 99.0}};

TEST(WindowedDecoding, DeliversWhatDecodingThroughDeliversInsideTheWindows) {
  ClipFolder folder;
  struct Case {
    const char* file;
    std::string codecs;
  };
  const std::vector<Case> cases = {
      {"h264.mp4", "-c:v libx264 -bf 2 -pix_fmt yuv420p -c:a aac"},
      {"mpeg4.avi", "-c:v mpeg4 -bf 2 -c:a libmp3lame"},
      {"mpeg1.mpg", "-c:v mpeg1video -bf 2 -c:a mp2 -f mpeg"},
      {"mjpeg.avi", "-c:v mjpeg -c:a pcm_s16le"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string clip = folder.make(c.file, kSource + c.codecs);
    ASSERT_FALSE(clip.empty());
    const Decoding through = decode(clip, {});
    ASSERT_TRUE(through.ran);
    ASSERT_GT(through.pictures.size(), 190u);
    const Decoding windowed = decode(clip, kWindows);
    EXPECT_TRUE(windowed.ran);
    expectSamePictures(inside(through.pictures, kWindows), windowed.pictures);
    EXPECT_EQ(windowed.soundBytes, 0u);
    // It got there by seeking, and decoded far less.
    EXPECT_GE(windowed.how.seeks, 3);
    EXPECT_FALSE(windowed.how.readThrough);
    EXPECT_LT(windowed.how.picturesDecoded, through.pictures.size() * 3 / 4);
  }
}

// Marks every video chunk of an AVI's index as a key frame.
bool markEveryAviFrameKey(std::vector<std::uint8_t>& avi) {
  for (std::size_t i = 12; i + 8 <= avi.size(); ++i) {
    if (std::memcmp(&avi[i], "idx1", 4) != 0) continue;
    std::uint32_t size;
    std::memcpy(&size, &avi[i + 4], 4);
    int marked = 0;
    for (std::size_t e = i + 8; e + 16 <= i + 8 + size && e + 16 <= avi.size(); e += 16) {
      if (std::memcmp(&avi[e], "00dc", 4) == 0) {
        avi[e + 4] |= 0x10;
        ++marked;
      }
    }
    return marked > 0;
  }
  return false;
}

// Turns an MP4's table of key frames into free space: every frame then
// counts as one.
bool dropMp4KeyFrameTable(std::vector<std::uint8_t>& mp4) {
  for (std::size_t i = 4; i + 4 <= mp4.size(); ++i) {
    if (std::memcmp(&mp4[i], "stss", 4) == 0) {
      std::memcpy(&mp4[i], "free", 4);
      return true;
    }
  }
  return false;
}

TEST(WindowedDecoding, IndexesThatLieAboutKeyFramesStillGiveThePicturesOfDecodingThrough) {
  ClipFolder folder;
  struct Case {
    const char* file;
    std::string codecs;
    bool (*damage)(std::vector<std::uint8_t>&);
    bool readThrough;  // every seek is misled: the input is read through from its start
  };
  const std::vector<Case> cases = {
      // The packets still tell the key frames: a seek from further back finds one.
      {"lying index.avi", "-c:v mpeg4 -bf 0 -c:a pcm_s16le", markEveryAviFrameKey, false},
      // One key frame at the start, and the container calls every frame one:
      // a decoder that shows nothing before a key frame, and one that shows
      // pictures decoded from references it never had.
      {"no key frame table.mp4", "-c:v libx264 -g 250 -pix_fmt yuv420p -c:a aac", dropMp4KeyFrameTable, true},
      {"no key frame table mpeg4.mp4", "-c:v mpeg4 -g 250 -bf 0 -c:a aac", dropMp4KeyFrameTable, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string clip = folder.make(c.file, kSource + c.codecs);
    ASSERT_FALSE(clip.empty());
    std::vector<std::uint8_t> bytes = test::readFile(clip);
    ASSERT_TRUE(c.damage(bytes));
    test::writeFile(clip, bytes);

    const Decoding through = decode(clip, {});
    ASSERT_TRUE(through.ran);
    const Decoding windowed = decode(clip, kWindows);
    EXPECT_TRUE(windowed.ran);
    expectSamePictures(inside(through.pictures, kWindows), windowed.pictures);
    EXPECT_GT(windowed.how.seeks, 0);
    EXPECT_EQ(windowed.how.readThrough, c.readThrough);
  }
}

// Key frames at 0, 2.2 and 5.6 s only, and pictures reordered around them.
const std::string kKeyFramesAt = "-force_key_frames 0,2.2,5.6 -g 1000 -sc_threshold 0 ";

std::vector<double> indexedKeyFrames(const std::string& clip) {
  resetJobState();
  RecordingSink sink;
  auto graph = createDecodingGraph();
  if (!graph->buildDecodingGraph(clip, sink)) return {};
  std::vector<double> keys = graph->indexedKeyFrames();
  graph->releaseDecodingGraph();
  return keys;
}

TEST(WindowedDecoding, WindowsThatStartWhereTheIndexTellsOfAKeyFrameNeedNothingDecodedBeforeThem) {
  ClipFolder folder;
  const std::vector<double> forced = {0.0, 2.2, 5.6};
  std::vector<double> everyFrame;
  for (int i = 0; i < 200; ++i) everyFrame.push_back(i * 0.04);
  struct Case {
    const char* file;
    std::string codecs;
    bool (*damage)(std::vector<std::uint8_t>&);
    std::vector<double> keyFrames;  // the pictures' times; none: the index tells none
  };
  const std::vector<Case> cases = {
      {"h264.mp4", kKeyFramesAt + "-c:v libx264 -bf 2 -pix_fmt yuv420p -c:a aac", nullptr, forced},
      {"mpeg4.avi", kKeyFramesAt + "-c:v mpeg4 -bf 2 -c:a libmp3lame", nullptr, forced},
      {"mjpeg.avi", "-c:v mjpeg -c:a pcm_s16le", nullptr, everyFrame},
      // A program stream indexes the places it can resume reading at, not key frames.
      {"mpeg1.mpg", kKeyFramesAt + "-c:v mpeg1video -bf 2 -c:a mp2 -f mpeg", nullptr, {}},
      // An index that calls every picture a key frame tells none.
      {"lying index.avi", kKeyFramesAt + "-c:v mpeg4 -bf 0 -c:a pcm_s16le", markEveryAviFrameKey, {}},
      {"no key frame table.mp4", kKeyFramesAt + "-c:v libx264 -pix_fmt yuv420p -c:a aac", dropMp4KeyFrameTable, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string clip = folder.make(c.file, kSource + c.codecs);
    ASSERT_FALSE(clip.empty());
    if (c.damage != nullptr) {
      std::vector<std::uint8_t> bytes = test::readFile(clip);
      ASSERT_TRUE(c.damage(bytes));
      test::writeFile(clip, bytes);
    }
    const std::vector<double> keys = indexedKeyFrames(clip);
    ASSERT_EQ(keys.size(), c.keyFrames.size());
    // At or just after the key frame's picture: within three frames.
    for (std::size_t i = 0; i < keys.size(); ++i) {
      EXPECT_GE(keys[i], c.keyFrames[i]) << i;
      EXPECT_LT(keys[i], c.keyFrames[i] + 0.12) << i;
    }
    if (keys.size() != forced.size()) continue;
    // Windows from there decode as decoding through does, each from its own
    // key frame: the pictures decoded are theirs, and a few about them.
    const std::vector<DecodingWindow> windows = {{keys[1], keys[1] + 0.4}, {keys[2], keys[2] + 0.4}};
    const Decoding through = decode(clip, {});
    ASSERT_TRUE(through.ran);
    const Decoding windowed = decode(clip, windows);
    EXPECT_TRUE(windowed.ran);
    const std::vector<Picture> expected = inside(through.pictures, windows);
    expectSamePictures(expected, windowed.pictures);
    EXPECT_FALSE(windowed.how.readThrough);
    EXPECT_LE(windowed.how.picturesDecoded, expected.size() + 3 * windows.size());
  }
}
}  // namespace
}  // namespace zepra
