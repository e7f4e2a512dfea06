#include "input/decoding_graph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "input/avi_header_probe.h"
#include "input/graph_errors.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"
#include "tests/input/media_fixtures.h"

namespace zepra {
namespace {

using test::ClipFolder;
using test::RecordingSink;

// Every clip is a second or less of lavfi test picture and sound.
const std::string kPicture = "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 ";
const std::string kStereo = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 -ac 2 ";
// Long enough that a time computed in two roundings lands an ulp past its
// slot in every time base (first at frame 35 of 25 fps in 1/25, 1/1000 and
// 1/12800).
const std::string kTwoSeconds =
    "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2 "
    "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=2 -ac 2 ";

struct Decoded {
  bool built = false;
  bool counted = false;
  bool ran = false;
  std::uint64_t frameCount = 0;
  std::string error;
};

Decoded decode(const std::string& path, RecordingSink& sink) {
  resetJobState();
  Decoded result;
  auto graph = createDecodingGraph();
  result.built = graph->buildDecodingGraph(path, sink);
  if (result.built) result.counted = graph->queryFrameCount(result.frameCount, sink);
  if (result.counted) result.ran = graph->runDecodingGraph(CancelSource());
  graph->releaseDecodingGraph();
  result.error = lastErrorText();
  return result;
}

int peak16(const std::vector<std::uint8_t>& sound) {
  int peak = 0;
  for (std::size_t i = 0; i + 1 < sound.size(); i += 2) {
    std::int16_t v;
    std::memcpy(&v, &sound[i], 2);
    peak = std::max(peak, std::abs(static_cast<int>(v)));
  }
  return peak;
}

double soundSeconds(const RecordingSink& sink) {
  return static_cast<double>(sink.sound.size()) / sink.audio.nBlockAlign / sink.audio.nSamplesPerSec;
}

struct ContainerCase {
  const char* file;
  std::string arguments;
  std::uint16_t bits;  // of the PCM delivered
  bool lengthStored;   // the container counts the video frames
};

TEST(DecodingGraph, DecodesEveryContainerFamilyToFramesAndPcm) {
  ClipFolder folder;
  const std::vector<ContainerCase> cases = {
      {"clip.avi", kTwoSeconds + "-c:v mpeg4 -c:a pcm_s16le", 16, true},
      {"clip.mp4", kTwoSeconds + "-c:v libx264 -pix_fmt yuv420p -c:a aac", 16, true},
      {"clip.mkv", kTwoSeconds + "-c:v libx264 -pix_fmt yuv420p -c:a libmp3lame", 16, false},
      {"clip.mpg", kTwoSeconds + "-c:v mpeg1video -c:a mp2 -f mpeg", 16, false},
      {"clip.wmv", kTwoSeconds + "-c:v wmv2 -c:a wmav2", 16, false},
      {"clip.mov", kTwoSeconds + "-c:v mjpeg -c:a pcm_s16be", 16, true},
      {"clip.webm", kTwoSeconds + "-c:v libvpx -deadline realtime -c:a libopus", 16, false},
      {"clip stereo 8 bit.avi", kTwoSeconds + "-c:v mpeg4 -c:a pcm_u8", 8, true},
  };
  for (const ContainerCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string clip = folder.make(c.file, c.arguments);
    ASSERT_FALSE(clip.empty());
    RecordingSink sink;
    const Decoded d = decode(clip, sink);
    ASSERT_TRUE(d.built && d.counted && d.ran) << d.error;

    const std::vector<std::string> order = {"containerRate", "video", "audio"};
    EXPECT_EQ(sink.order, order);
    EXPECT_EQ(sink.video.bmiHeader.biWidth, 64);
    EXPECT_EQ(sink.video.bmiHeader.biHeight, 48);
    EXPECT_EQ(sink.video.bmiHeader.biPlanes, 1);
    EXPECT_EQ(sink.video.bmiHeader.biBitCount, 24);
    EXPECT_EQ(sink.video.bmiHeader.biCompression, kBiRgb);
    EXPECT_EQ(sink.video.bmiHeader.biSizeImage, 64u * 3 * 48);
    EXPECT_EQ(sink.video.AvgTimePerFrame, 400000);
    EXPECT_EQ(sink.containerRate * 1.0 / sink.containerScale, 25.0);

    EXPECT_EQ(sink.audio.wFormatTag, kWaveFormatPcm);
    EXPECT_EQ(sink.audio.nChannels, 2);
    EXPECT_EQ(sink.audio.wBitsPerSample, c.bits);
    EXPECT_EQ(sink.audio.nBlockAlign, 2 * c.bits / 8);
    EXPECT_EQ(sink.audio.nAvgBytesPerSec, sink.audio.nSamplesPerSec * sink.audio.nBlockAlign);
    EXPECT_NEAR(soundSeconds(sink), 2.0, 0.1);

    if (c.lengthStored) {
      EXPECT_EQ(d.frameCount, 50u);
    } else {
      EXPECT_NEAR(static_cast<double>(d.frameCount), 50.0, 2.0);
    }
    ASSERT_NEAR(static_cast<double>(sink.frames.size()), 50.0, 1.0);
    for (std::size_t i = 0; i < sink.frames.size(); ++i) {
      EXPECT_EQ(sink.frames[i].length, sink.video.bmiHeader.biSizeImage);
      // Exactly the time of slot i of the 25 fps grid as the pacing works it
      // out: a time an ulp later would make it repeat the frame before.
      EXPECT_EQ(sink.frames[i].time, i / 25.0) << "frame " << i;
    }
  }
}

TEST(DecodingGraph, DeliversBgrRowsBottomUpPaddedToFourBytes) {
  ClipFolder folder;
  // Red over blue, 35 pixels wide: 105 bytes of pixels and 3 of padding per row.
  const std::string clip = folder.make(
      "red over blue.avi",
      "-f lavfi -i anullsrc=r=8000:cl=mono -filter_complex "
      "'color=c=red:s=36x4:r=10:d=0.5,format=bgr24,crop=35:4:0:0[a];"
      "color=c=blue:s=36x3:r=10:d=0.5,format=bgr24,crop=35:3:0:0[b];[a][b]vstack[v]' "
      "-map [v] -map 0 -t 0.5 -c:v rawvideo -pix_fmt bgr24 -c:a pcm_u8");
  ASSERT_FALSE(clip.empty());
  RecordingSink sink;
  const Decoded d = decode(clip, sink);
  ASSERT_TRUE(d.ran) << d.error;
  EXPECT_EQ(sink.video.bmiHeader.biWidth, 35);
  EXPECT_EQ(sink.video.bmiHeader.biHeight, 7);
  EXPECT_EQ(sink.video.AvgTimePerFrame, 1000000);
  ASSERT_EQ(sink.firstFrame.size(), 108u * 7);
  for (int row = 0; row < 7; ++row) {
    // The first stored row is the bottom of the picture.
    const std::uint8_t expected[3] = {static_cast<std::uint8_t>(row < 3 ? 255 : 0), 0,
                                      static_cast<std::uint8_t>(row < 3 ? 0 : 255)};
    for (int x = 0; x < 35; ++x) {
      ASSERT_EQ(std::memcmp(&sink.firstFrame[row * 108 + x * 3], expected, 3), 0)
          << "row " << row << " pixel " << x;
    }
    for (int pad = 105; pad < 108; ++pad) EXPECT_EQ(sink.firstFrame[row * 108 + pad], 0);
  }
  // 8-bit mono sound comes as it is.
  EXPECT_EQ(sink.audio.nChannels, 1);
  EXPECT_EQ(sink.audio.wBitsPerSample, 8);
  ASSERT_FALSE(sink.sound.empty());
  EXPECT_TRUE(std::all_of(sink.sound.begin(), sink.sound.end(), [](std::uint8_t s) { return s == 128; }));
  EXPECT_EQ(d.frameCount, 5u);
  EXPECT_EQ(sink.frames.size(), 5u);
}

// The largest difference of a byte of our frame, bottom-up and padded, from
// ffmpeg's own top-down decoding of the same picture.
int largestDifference(const RecordingSink& sink, const std::vector<std::uint8_t>& reference) {
  const int width = sink.video.bmiHeader.biWidth;
  const int height = sink.video.bmiHeader.biHeight;
  const std::size_t stride = (width * 3 + 3) & ~3;
  if (reference.size() != static_cast<std::size_t>(width) * height * 3) return 256;
  int largest = 0;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* ours = &sink.firstFrame[(height - 1 - y) * stride];
    const std::uint8_t* theirs = &reference[static_cast<std::size_t>(y) * width * 3];
    for (int i = 0; i < width * 3; ++i) largest = std::max(largest, std::abs(ours[i] - theirs[i]));
  }
  return largest;
}

TEST(DecodingGraph, PicturesMatchFfmpegsOwnDecodingAndStandUpright) {
  ClipFolder folder;
  const std::string odd = folder.make(
      "odd.mp4", "-f lavfi -i testsrc=size=33x25:rate=10:duration=0.3 " + kStereo +
                     "-t 0.3 -c:v libx264 -pix_fmt yuv444p -c:a aac");
  const std::string upright = folder.make(
      "upright.mp4", "-f lavfi -i testsrc2=size=64x32:rate=10:duration=0.3 " + kStereo +
                         "-t 0.3 -c:v libx264 -pix_fmt yuv420p -c:a aac");
  ASSERT_FALSE(odd.empty() || upright.empty());
  struct Case {
    const char* file;
    int rotation;
    int width, height;
  };
  const std::vector<Case> cases = {
      {"odd.mp4", -1, 33, 25},
      {"upright.mp4", -1, 64, 32},
      {"turned.mp4", 90, 32, 64},
      {"upside down.mp4", 180, 64, 32},
      {"turned back.mp4", 270, 32, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string clip = c.width == 33 ? odd : upright;
    if (c.rotation >= 0) {
      // As a phone stores it: the pictures as shot, and the turn in the track header.
      std::vector<std::uint8_t> bytes = test::readFile(upright);
      ASSERT_TRUE(test::setMp4Rotation(bytes, c.rotation, 64, 32));
      clip = folder.path(c.file).string();
      test::writeFile(clip, bytes);
    }
    RecordingSink sink;
    const Decoded d = decode(clip, sink);
    ASSERT_TRUE(d.ran) << d.error;
    EXPECT_EQ(sink.video.bmiHeader.biWidth, c.width);
    EXPECT_EQ(sink.video.bmiHeader.biHeight, c.height);
    EXPECT_LE(largestDifference(sink, test::ffmpegFirstFrame(clip)), 1);
  }
}

TEST(DecodingGraph, OffersTheDisplayAspectOfNonSquarePixels) {
  ClipFolder folder;
  const std::string sound = "-f lavfi -i anullsrc=r=22050:cl=stereo -t 0.3 -c:a aac ";
  const std::string anamorphic = folder.make(
      "anamorphic.mp4", "-f lavfi -i testsrc2=size=72x48:rate=10,setsar=32/27 " + sound + "-c:v libx264");
  const std::string square = folder.make(
      "square.mp4", "-f lavfi -i testsrc2=size=72x48:rate=10 " + sound + "-c:v libx264");
  ASSERT_FALSE(anamorphic.empty() || square.empty());
  std::vector<std::uint8_t> bytes = test::readFile(anamorphic);
  ASSERT_TRUE(test::setMp4Rotation(bytes, 90, 72, 48));
  const std::string turned = folder.path("anamorphic turned.mp4").string();
  test::writeFile(turned, bytes);

  RecordingSink wide;
  ASSERT_TRUE(decode(anamorphic, wide).ran);
  EXPECT_EQ(wide.aspect.dwPictAspectRatioX, 16u);
  EXPECT_EQ(wide.aspect.dwPictAspectRatioY, 9u);
  const std::vector<std::string> order = {"containerRate", "aspect", "video", "audio"};
  EXPECT_EQ(wide.order, order);

  RecordingSink tall;
  ASSERT_TRUE(decode(turned, tall).ran);
  EXPECT_EQ(tall.aspect.dwPictAspectRatioX, 9u);
  EXPECT_EQ(tall.aspect.dwPictAspectRatioY, 16u);

  RecordingSink plain;
  ASSERT_TRUE(decode(square, plain).ran);
  EXPECT_EQ(std::count(plain.order.begin(), plain.order.end(), "aspect"), 0);
}

TEST(DecodingGraph, ConvertsSoundTheEncoderWouldRefuse) {
  ClipFolder folder;
  // lavfi's sine has an amplitude of 1/8: 4096 in 16 bits.
  const std::string sine = "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=0.5 ";
  const std::string picture = "-f lavfi -i testsrc2=size=32x24:rate=10:duration=0.5 -c:v mpeg4 ";
  struct Case {
    const char* file;
    std::string sound;
    int channels;
    int minPeak, maxPeak;
  };
  const std::vector<Case> cases = {
      // Mono made stereo by ffmpeg is 3 dB down: a peak of 2896.
      {"float.mkv", "-ac 2 -c:a pcm_f32le", 2, 2850, 2950},
      {"float mono.mkv", "-ac 1 -c:a pcm_f32le", 1, 4050, 4150},
      {"planar.mkv", "-ac 2 -c:a mp2", 2, 2500, 3300},
      {"24 bit.avi", "-ac 2 -c:a pcm_s24le", 2, 2850, 2950},
      {"32 bit.mkv", "-ac 2 -c:a pcm_s32le", 2, 2850, 2950},
      // Mixed down with the standard matrix, normalised so nothing clips.
      {"surround.mkv", "-af 'pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0' -c:a pcm_s16le", 2, 1000,
       4150},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string clip = folder.make(c.file, picture + sine + c.sound);
    ASSERT_FALSE(clip.empty());
    RecordingSink sink;
    const Decoded d = decode(clip, sink);
    ASSERT_TRUE(d.ran) << d.error;
    EXPECT_EQ(sink.audio.wBitsPerSample, 16);
    EXPECT_EQ(sink.audio.nChannels, c.channels);
    EXPECT_EQ(sink.audio.nSamplesPerSec, 48000u);
    EXPECT_NEAR(soundSeconds(sink), 0.5, 0.06);
    const int peak = peak16(sink.sound);
    EXPECT_GE(peak, c.minPeak);
    EXPECT_LE(peak, c.maxPeak);
  }
}

TEST(DecodingGraph, PutsSoundInStepWithThePicture) {
  ClipFolder folder;
  const std::string picture = "-f lavfi -i testsrc2=size=32x24:rate=10:duration=1 ";
  const std::string sine = "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=1 ";
  const std::string late = folder.make(
      "late sound.mkv", picture + "-itsoffset 0.5 " + sine + "-c:v mpeg4 -c:a pcm_s16le");
  const std::string early = folder.make(
      "early sound.mkv", "-itsoffset 0.5 " + picture + sine + "-c:v mpeg4 -c:a pcm_s16le");
  ASSERT_FALSE(late.empty() || early.empty());

  RecordingSink lateSink;
  ASSERT_TRUE(decode(late, lateSink).ran);
  // Half a second of silence, then the tone.
  const std::size_t half = 4000 * 2;
  ASSERT_GT(lateSink.sound.size(), half + 400);
  EXPECT_EQ(peak16({lateSink.sound.begin(), lateSink.sound.begin() + half - 20}), 0);
  EXPECT_GT(peak16({lateSink.sound.begin() + half + 20, lateSink.sound.begin() + half + 400}), 3000);
  EXPECT_NEAR(soundSeconds(lateSink), 1.5, 0.05);

  RecordingSink earlySink;
  ASSERT_TRUE(decode(early, earlySink).ran);
  EXPECT_NEAR(soundSeconds(earlySink), 0.5, 0.05);
  EXPECT_EQ(earlySink.frames.front().time, 0.0);
}

TEST(DecodingGraph, KeepsTheTimesOfVariableFrameRateInput) {
  ClipFolder folder;
  // Ten frames at 10 per second, with a gap of half a second after the fifth.
  const std::string clip = folder.make(
      "gap.mkv",
      "-f lavfi -i \"testsrc2=size=32x24:rate=10:duration=1,setpts='N+5*gte(N,5)'\" "
      "-f lavfi -i sine=sample_rate=8000:duration=1.5 -fps_mode passthrough -c:v mjpeg -c:a pcm_s16le");
  ASSERT_FALSE(clip.empty());
  RecordingSink sink;
  const Decoded d = decode(clip, sink);
  ASSERT_TRUE(d.ran) << d.error;
  ASSERT_EQ(sink.frames.size(), 10u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_NEAR(sink.frames[i].time, (i + (i >= 5 ? 5 : 0)) / 10.0, 0.002) << i;
  }
}

TEST(DecodingGraph, CountsFramesFromTheDurationAtTheSourceRate) {
  ClipFolder folder;
  const std::string clip = folder.make(
      "two seconds.mkv",
      "-f lavfi -i testsrc2=size=32x24:rate=25:duration=2 -f lavfi -i anullsrc=r=8000 -t 2 "
      "-c:v mpeg4 -c:a pcm_s16le");
  ASSERT_FALSE(clip.empty());
  RecordingSink sink;
  Decoded d = decode(clip, sink);
  ASSERT_TRUE(d.counted) << d.error;
  EXPECT_EQ(d.frameCount, 50u);

  // The same length at a source rate of 29.97 frames per second.
  struct NtscSink : RecordingSink {
    std::uint32_t sourceRate() const override { return 29970; }
    std::uint32_t sourceScale() const override { return 1000; }
  } ntsc;
  d = decode(clip, ntsc);
  EXPECT_EQ(d.frameCount, 59u);  // 59.94 truncated

  struct NoRateSink : RecordingSink {
    std::uint32_t sourceRate() const override { return 0; }
  } noRate;
  d = decode(clip, noRate);
  EXPECT_TRUE(d.built);
  EXPECT_FALSE(d.counted);
  EXPECT_EQ(d.error, kUnknownFrameRateText);
}

TEST(DecodingGraph, RefusesInputItCannotUseWithAClearText) {
  ClipFolder folder;
  const std::string silentFilm = folder.make(
      "silent.mp4", "-f lavfi -i testsrc2=size=32x24:rate=10:duration=0.5 -c:v libx264");
  const std::string soundOnly = folder.make("sound.mkv", "-f lavfi -i sine=duration=0.5 -c:a flac");
  const std::string full = folder.make(
      "full.mp4", kPicture + kStereo + "-c:v libx264 -pix_fmt yuv420p -c:a aac");
  ASSERT_FALSE(silentFilm.empty() || soundOnly.empty() || full.empty());
  std::vector<std::uint8_t> bytes = test::readFile(full);
  bytes.resize(bytes.size() / 2);  // the index of this file is at its end
  test::writeFile(folder.path("truncated.mp4"), bytes);
  std::vector<std::uint8_t> noise(100000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
  test::writeFile(folder.path("noise.avi"), noise);

  struct Case {
    const char* name;
    std::string path;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"no sound", silentFilm, kNoAudioStreamText},
      {"no picture", soundOnly, kNoVideoStreamText},
      {"missing", folder.path("missing.mp4").string(), "No such file or directory"},
      {"truncated", folder.path("truncated.mp4").string(), "Invalid data found when processing input"},
      {"noise", folder.path("noise.avi").string(), "Invalid data found when processing input"},
      {"folder", folder.path("").string(), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingSink sink;
    const Decoded d = decode(c.path, sink);
    EXPECT_FALSE(d.built);
    EXPECT_FALSE(d.error.empty());
    if (!c.error.empty()) {
      EXPECT_EQ(d.error, c.error);
    }
    EXPECT_TRUE(sink.frames.empty());
  }

  RecordingSink refusing;
  refusing.refuseVideo = true;
  const Decoded d = decode(full, refusing);
  EXPECT_FALSE(d.built);
  EXPECT_EQ(d.error, kVideoFormatRefusedText);
}

TEST(DecodingGraph, StreamsWithoutADecoderAreNamedInTheText) {
  ClipFolder folder;
  const std::string clip = folder.make(
      "clip.avi", "-f lavfi -i testsrc2=size=32x24:rate=10:duration=0.5 -f lavfi -i sine=duration=0.5 "
                  "-c:v mpeg4 -c:a pcm_s16le");
  ASSERT_FALSE(clip.empty());
  const std::vector<std::uint8_t> bytes = test::readFile(clip);
  auto at = [&](const char* code, std::size_t from) {
    return static_cast<std::size_t>(
        std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), code, code + 4) -
        bytes.begin());
  };
  const std::size_t videoHeader = at("strh", 0);
  const std::size_t videoFormat = at("strf", videoHeader);
  const std::size_t audioFormat = at("strf", at("strh", videoHeader + 4));
  ASSERT_LT(audioFormat, bytes.size());

  // A video coding nobody knows, in the stream header and the bitmap header.
  std::vector<std::uint8_t> unknownVideo = bytes;
  std::memcpy(&unknownVideo[videoHeader + 8 + 4], "ZZZZ", 4);
  std::memcpy(&unknownVideo[videoFormat + 8 + 16], "ZZZZ", 4);
  test::writeFile(folder.path("unknown video.avi"), unknownVideo);
  // A sound format tag nobody knows.
  std::vector<std::uint8_t> unknownSound = bytes;
  unknownSound[audioFormat + 8] = 0x77;
  unknownSound[audioFormat + 9] = 0x77;
  test::writeFile(folder.path("unknown sound.avi"), unknownSound);

  RecordingSink video;
  const Decoded v = decode(folder.path("unknown video.avi").string(), video);
  EXPECT_FALSE(v.built);
  EXPECT_EQ(v.error, kUnsupportedVideoText);
  RecordingSink sound;
  const Decoded a = decode(folder.path("unknown sound.avi").string(), sound);
  EXPECT_FALSE(a.built);
  EXPECT_EQ(a.error, kUnsupportedAudioText);
}

TEST(DecodingGraph, AFileCutOffMidwayFailsTheRunWithAClearText) {
  ClipFolder folder;
  const std::string picture = "-f lavfi -i testsrc2=size=32x24:rate=25:duration=2 ";
  const std::string sound = "-f lavfi -i sine=sample_rate=8000:duration=2 ";
  struct Case {
    const char* file;
    std::string arguments;
  };
  const std::vector<Case> cases = {
      {"clip.avi", picture + sound + "-c:v mpeg4 -c:a pcm_s16le"},
      {"clip.mkv", picture + sound + "-c:v libx264 -c:a aac"},
      {"clip.mp4", picture + sound + "-c:v libx264 -c:a aac -movflags +faststart"},
      // Sound that goes on after the picture is no sign of damage.
      {"long sound.mkv",
       picture + "-f lavfi -i sine=sample_rate=8000:duration=3.5 -c:v mjpeg -c:a pcm_s16le"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string clip = folder.make(c.file, c.arguments);
    ASSERT_FALSE(clip.empty());
    RecordingSink whole;
    const Decoded all = decode(clip, whole);
    EXPECT_TRUE(all.ran) << all.error;

    std::vector<std::uint8_t> bytes = test::readFile(clip);
    bytes.resize(bytes.size() * 55 / 100);
    const std::string cut = folder.path(std::string("cut ") + c.file).string();
    test::writeFile(cut, bytes);
    RecordingSink sink;
    const Decoded d = decode(cut, sink);
    EXPECT_TRUE(d.built) << d.error;
    EXPECT_FALSE(d.ran);
    EXPECT_EQ(d.error, kTruncatedText);
  }
}

// An AVI whose headers claim `claimedFrames` video frames while the file
// holds fewer: what a file cut short looks like with its headers intact.
void claimVideoFrames(std::vector<std::uint8_t>& avi, std::uint32_t claimedFrames) {
  auto find = [&](const char* code) {
    return static_cast<std::size_t>(std::search(avi.begin(), avi.end(), code, code + 4) - avi.begin());
  };
  const std::size_t avih = find("avih");
  const std::size_t vids = find("vids");  // the video stream header's type, 8 bytes into its chunk
  ASSERT_LT(avih + 8 + 20, avi.size());
  ASSERT_LT(vids + 36, avi.size());
  std::memcpy(&avi[avih + 8 + 16], &claimedFrames, 4);  // dwTotalFrames
  std::memcpy(&avi[vids + 32], &claimedFrames, 4);      // the stream's dwLength
}

// A file ends early only when it falls short by both more than a tenth of
// its length and more than half a second; one condition alone is no damage.
TEST(DecodingGraph, AFileEndingEarlyIsCutOffOnlyWhenShortByBothShareAndTime) {
  ClipFolder folder;
  struct Case {
    const char* what;
    const char* seconds;
    std::uint32_t framesHeld, framesClaimed;  // at 10 frames per second
    bool cutOff;
  };
  const Case cases[] = {
      {"0.4 s (20 %) short of 2 s", "1.6", 16, 20, false},
      {"0.7 s (7 %) short of 10 s", "9.3", 93, 100, false},
      {"1 s (33 %) short of 3 s", "2", 20, 30, true},
  };
  // One ffmpeg run makes every clip: a picture at 10 frames per second and sound.
  std::string arguments = "-f lavfi -i testsrc2=size=32x24:rate=10 -f lavfi -i sine=sample_rate=8000";
  for (const Case& c : cases) {
    arguments += std::string(" -map 0:v -map 1:a -t ") + c.seconds + " -c:v mpeg4 -c:a pcm_s16le";
    if (&c != &cases[std::size(cases) - 1]) arguments += " '" + folder.path(std::string(c.seconds) + ".avi").string() + "'";
  }
  ASSERT_FALSE(folder.make(std::string(cases[std::size(cases) - 1].seconds) + ".avi", arguments).empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string clip = folder.path(std::string(c.seconds) + ".avi").string();
    std::vector<std::uint8_t> bytes = test::readFile(clip);
    claimVideoFrames(bytes, c.framesClaimed);
    const std::string shortFile = folder.path(std::string("short ") + c.seconds + " s.avi").string();
    test::writeFile(shortFile, bytes);
    AviStreamRate probed;
    ASSERT_TRUE(probeAviHeader(shortFile, probed));
    ASSERT_EQ(probed.length, c.framesClaimed);

    RecordingSink sink;
    const Decoded d = decode(shortFile, sink);
    EXPECT_TRUE(d.built) << d.error;
    EXPECT_EQ(sink.frames.size(), c.framesHeld);
    EXPECT_EQ(d.ran, !c.cutOff) << d.error;
    EXPECT_EQ(d.error, c.cutOff ? kTruncatedText : "");
  }
}

// The frame duration is rounded to the nearest 100 ns: 24 frames per second
// last 416,666.67 units each, reported as 416,667.
TEST(DecodingGraph, ReportsTheFrameDurationRounded) {
  ClipFolder folder;
  struct Case {
    const char* rate;
    std::int64_t duration;
  };
  const Case cases[] = {{"24", 416667}, {"30000/1001", 333667}, {"25", 400000}};
  // One ffmpeg run makes a short clip at each rate.
  std::string arguments;
  for (const Case& c : cases) arguments += std::string("-f lavfi -i testsrc2=size=32x24:rate=") + c.rate + " ";
  arguments += "-f lavfi -i anullsrc=r=8000 ";
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    arguments += "-map " + std::to_string(i) + ":v -map " + std::to_string(std::size(cases)) +
                 ":a -t 0.3 -c:v mpeg4 -c:a pcm_s16le";
    if (i + 1 < std::size(cases)) arguments += " '" + folder.path(std::to_string(i) + ".mkv").string() + "' ";
  }
  ASSERT_FALSE(folder.make(std::to_string(std::size(cases) - 1) + ".mkv", arguments).empty());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].rate);
    RecordingSink sink;
    const Decoded d = decode(folder.path(std::to_string(i) + ".mkv").string(), sink);
    ASSERT_TRUE(d.built) << d.error;
    EXPECT_EQ(sink.video.AvgTimePerFrame, cases[i].duration);
  }
}

TEST(DecodingGraph, AviWithAnOversizedStreamHeaderTakesTheDecodedRate) {
  ClipFolder folder;
  const std::string clip = folder.make("clip.avi", kPicture + kStereo + "-c:v mpeg4 -c:a pcm_s16le");
  ASSERT_FALSE(clip.empty());
  // Grow the video stream header from 56 to 64 bytes, fixing every enclosing size.
  std::vector<std::uint8_t> bytes = test::readFile(clip);
  auto at = [&](const char* code, std::size_t from) {
    return static_cast<std::size_t>(
        std::search(bytes.begin() + from, bytes.end(), code, code + 4) - bytes.begin());
  };
  auto grow = [&](std::size_t sizeField) {
    std::uint32_t size;
    std::memcpy(&size, &bytes[sizeField], 4);
    size += 8;
    std::memcpy(&bytes[sizeField], &size, 4);
  };
  const std::size_t strh = at("strh", 0);
  const std::size_t strl = at("strl", 0);
  const std::size_t hdrl = at("hdrl", 0);
  ASSERT_LT(strh, bytes.size());
  grow(strh + 4);
  grow(strl - 4);
  grow(hdrl - 4);
  grow(4);
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(strh + 8 + 56), 8, 0);
  const std::string patched = folder.path("patched.avi").string();
  test::writeFile(patched, bytes);

  AviStreamRate probed;
  EXPECT_FALSE(probeAviHeader(patched, probed));
  RecordingSink sink;
  const Decoded d = decode(patched, sink);
  ASSERT_TRUE(d.ran) << d.error;
  EXPECT_EQ(sink.video.AvgTimePerFrame, 400000);
  EXPECT_EQ(sink.containerRate * 1.0 / sink.containerScale, 25.0);
  EXPECT_EQ(sink.frames.size(), 25u);
}

TEST(DecodingGraph, ReleaseIsSafeInEveryState) {
  auto never = createDecodingGraph();
  never->releaseDecodingGraph();
  never->releaseDecodingGraph();
  RecordingSink sink;
  std::uint64_t count = 0;
  EXPECT_FALSE(never->queryFrameCount(count, sink));
  EXPECT_FALSE(never->runDecodingGraph(CancelSource()));
}

}  // namespace
}  // namespace zepra
