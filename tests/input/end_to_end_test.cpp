// Real clips, made with ffmpeg, through the whole job to a cartridge image.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "format/adpcm_tables.h"
#include "format/screen.h"
#include "input/graph_errors.h"
#include "job/conversion_job.h"
#include "platform/job_state.h"
#include "player/player_image.h"
#include "tests/input/media_fixtures.h"

namespace zepra {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;


std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

struct Image {
  bool valid = false;  // the stream walks to its trailer's end; only padding follows
  std::uint32_t frameCount = 0;
  std::uint16_t width = 0, height = 0;
  std::uint32_t blockCount = 0;
};

// Walks the stream behind the player as the console does.
Image readImage(const std::string& path) {
  Image image;
  const std::vector<std::uint8_t> b = test::readFile(path);
  const std::size_t player = playerImage().size();
  if (b.size() % 0x8000 != 0 || b.size() > 0x2000000 || b.size() < player + 16) return image;
  if (!std::equal(b.begin() + 0xC0, b.begin() + static_cast<std::ptrdiff_t>(player),
                  playerImage().begin() + 0xC0)) {
    return image;
  }
  std::size_t at = player;
  image.frameCount = le32(b, at);
  image.width = static_cast<std::uint16_t>(le32(b, at + 8));
  image.height = static_cast<std::uint16_t>(le32(b, at + 8) >> 16);
  at += 12;
  for (std::uint32_t k = 0; k < image.frameCount; ++k) {
    const std::uint32_t length = le32(b, at) & 0xFFFF;
    if (length < 4 || at + length + 4 > b.size()) return image;
    at += length;
  }
  image.blockCount = le32(b, at);
  at += 4 + std::size_t{image.blockCount} * kAudioBlockBytes;
  if (at > b.size()) return image;
  image.valid = std::all_of(b.begin() + static_cast<std::ptrdiff_t>(at), b.end(),
                            [](std::uint8_t x) { return x == 0xFF; });
  return image;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    // The job's temporary stream file goes here, where the test can see it.
    const char* old = std::getenv("TMPDIR");
    oldTmpDir_ = old ? old : "";
    hadTmpDir_ = old != nullptr;
    fs::create_directories(folder_.path("tmp"));
    setenv("TMPDIR", folder_.path("tmp").c_str(), 1);
  }
  void TearDown() override {
    if (hadTmpDir_) {
      setenv("TMPDIR", oldTmpDir_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  bool temporaryFilesLeft() const { return !fs::is_empty(folder_.path("tmp")); }

  int convert(const std::string& input, const std::string& output) {
    CancelSource cancel;
    return convert(input, output, cancel);
  }
  int convert(const std::string& input, const std::string& output, CancelSource& cancel) {
    ConversionJob job;
    job.inputPath = input;
    job.outputPath = output;
    job.romTitle = "TEST";
    job.frameRateIndex = zepra::FrameRateChoice::kOriginal;  // every frame
    return runConversionJob(job, cancel);
  }

  test::ClipFolder folder_;

 private:
  std::string oldTmpDir_;
  bool hadTmpDir_ = false;
};

const std::string kPicture = "-f lavfi -i testsrc2=size=64x48:rate=25:duration=1 ";
const std::string kSine = "-f lavfi -i sine=frequency=440:sample_rate=44100:duration=1 ";

TEST_F(EndToEnd, EveryContainerFamilyBecomesAPlayableImage) {
  struct Case {
    const char* file;
    std::string arguments;
  };
  const std::vector<Case> cases = {
      {"clip.avi", kPicture + kSine + "-ac 2 -c:v mpeg4 -c:a pcm_s16le"},
      {"clip.mp4", kPicture + kSine + "-ac 2 -c:v libx264 -pix_fmt yuv420p -c:a aac"},
      {"clip.mkv", kPicture + kSine + "-ac 2 -c:v libx264 -pix_fmt yuv420p -c:a libvorbis"},
      {"clip.mpg", kPicture + kSine + "-ac 2 -c:v mpeg1video -c:a mp2 -f mpeg"},
      {"clip.wmv", kPicture + kSine + "-ac 2 -c:v wmv2 -c:a wmav2"},
      {"clip.webm", kPicture + kSine + "-ac 2 -c:v libvpx -deadline realtime -c:a libopus"},
      {"24 bit.mkv", kPicture + kSine + "-ac 2 -c:v mjpeg -c:a pcm_s24le"},
      {"float.mkv", kPicture + kSine + "-ac 2 -c:v mjpeg -c:a pcm_f32le"},
      {"surround.mkv", kPicture + kSine + "-ac 6 -c:v mjpeg -c:a pcm_s16le"},
      {"naïve café 影片.mkv", kPicture + kSine + "-c:v mjpeg -c:a pcm_s16le"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string clip = folder_.make(c.file, c.arguments);
    ASSERT_FALSE(clip.empty());
    const std::string output = folder_.path(std::string(c.file) + ".gba").string();
    ASSERT_EQ(convert(clip, output), kJobOk) << lastErrorText();
    const Image image = readImage(output);
    EXPECT_TRUE(image.valid);
    // 64 x 48 is 4:3: 212 x 160 on the console.
    EXPECT_EQ(image.width, 212);
    EXPECT_EQ(image.height, 160);
    EXPECT_NEAR(image.frameCount, 25.0, 1.0);
    // One sound block per display refresh, for the length of the clip, plus one.
    EXPECT_NEAR(image.blockCount, kRefreshRate + 1, 3.0);
    EXPECT_FALSE(temporaryFilesLeft());
  }
}

TEST_F(EndToEnd, PictureShapeFollowsAspectAndRotation) {
  const std::string sound = "-f lavfi -i anullsrc=r=22050 -t 0.5 -c:a aac ";
  const std::string anamorphic = folder_.make(
      "anamorphic.mp4", "-f lavfi -i testsrc2=size=720x480:rate=25,setsar=32/27 " + sound + "-c:v libx264");
  const std::string wide = folder_.make(
      "wide.mp4", "-f lavfi -i testsrc2=size=64x36:rate=25 " + sound + "-c:v libx264");
  ASSERT_FALSE(anamorphic.empty() || wide.empty());
  std::vector<std::uint8_t> bytes = test::readFile(wide);
  ASSERT_TRUE(test::setMp4Rotation(bytes, 90, 64, 36));
  const std::string phone = folder_.path("phone.mp4").string();
  test::writeFile(phone, bytes);

  struct Case {
    std::string clip;
    int width, height;
  };
  // 16:9 fills the width; the same picture stood upright fills the height.
  const std::vector<Case> cases = {{anamorphic, 240, 136}, {wide, 240, 136}, {phone, 92, 160}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clip);
    const std::string output = c.clip + ".gba";
    ASSERT_EQ(convert(c.clip, output), kJobOk) << lastErrorText();
    const Image image = readImage(output);
    EXPECT_TRUE(image.valid);
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.height);
  }
}

TEST_F(EndToEnd, BadInputFailsClearlyAndLeavesNothingBehind) {
  const std::string silent = folder_.make("silent.mp4", kPicture + "-c:v libx264");
  const std::string good = folder_.make(
      "good.mp4", kPicture + kSine + "-c:v libx264 -c:a aac -movflags +faststart");
  ASSERT_FALSE(silent.empty() || good.empty());
  std::vector<std::uint8_t> bytes = test::readFile(good);
  bytes.resize(bytes.size() / 2);
  const std::string cut = folder_.path("cut.mp4").string();
  test::writeFile(cut, bytes);
  const std::string noise = folder_.path("noise.avi").string();
  test::writeFile(noise, std::vector<std::uint8_t>(50000, 0x5A));

  struct Case {
    std::string input;
    int result;
    std::string error;
  };
  const std::vector<Case> cases = {
      {silent, kJobInputError, kNoAudioStreamText},
      {cut, kJobRunFailed, kTruncatedText},
      {noise, kJobInputError, "Invalid data found when processing input"},
      {folder_.path("missing.avi").string(), kJobInputError, "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const std::string output = c.input + ".gba";
    EXPECT_EQ(convert(c.input, output), c.result);
    EXPECT_EQ(lastErrorText(), c.error);
    EXPECT_FALSE(fs::exists(output));
    EXPECT_FALSE(temporaryFilesLeft());
  }
}

TEST_F(EndToEnd, CancellingEndsTheJobSoonWithoutOutput) {
  const std::string clip = folder_.make(
      "long.mp4",
      "-f lavfi -i testsrc2=size=320x240:rate=30:duration=20 -f lavfi -i sine=duration=20 "
      "-c:v libx264 -preset ultrafast -c:a aac");
  ASSERT_FALSE(clip.empty());
  const std::string output = folder_.path("long.gba").string();
  // How far the job got, from its progress notifications.
  struct Progress : NotifyWindow {
    std::atomic<int> furthest{0};
    void postDone(int) override {}
    void sendProgress(int permille) override { furthest = std::max(furthest.load(), permille); }
    void sendStatus(const std::string&) override {}
  } progress;
  notifyWindow = &progress;
  CancelSource cancel;
  std::thread canceller([&] {
    // Once the stream file exists the job is converting.
    while (!temporaryFilesLeft()) std::this_thread::yield();
    cancel.requestCancel();
  });
  const int result = convert(clip, output, cancel);
  canceller.join();
  notifyWindow = nullptr;
  EXPECT_EQ(result, kJobRunFailed);
  EXPECT_TRUE(jobCancelled);
  // Stopped at one of the first half-second looks, far from the end of the
  // twenty seconds, however loaded the machine (the job runs at idle priority).
  EXPECT_LT(progress.furthest.load(), 500);
  EXPECT_FALSE(fs::exists(output));
  EXPECT_FALSE(temporaryFilesLeft());
}

// Sets the frame rate that an AVI file's header states: the main header's
// frame duration and the video stream header's scale and rate.
bool setAviFrameRate(std::vector<std::uint8_t>& bytes, std::uint32_t rate, std::uint32_t scale) {
  auto find = [&](const char* tag) {
    const auto at = std::search(bytes.begin(), bytes.end(), tag, tag + 4);
    return at == bytes.end() ? std::string::npos : static_cast<std::size_t>(at - bytes.begin());
  };
  auto put = [&](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  const std::size_t main = find("avih");
  const std::size_t stream = find("strh");
  if (main == std::string::npos || stream == std::string::npos ||
      !std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(stream + 8),
                  bytes.begin() + static_cast<std::ptrdiff_t>(stream + 12), "vids")) {
    return false;
  }
  put(main + 8, static_cast<std::uint32_t>(1e6 * scale / rate));
  put(stream + 28, scale);
  put(stream + 32, rate);
  return true;
}

// A clip with a picture always shows one; a clip the console cannot show
// fails with a reason and leaves nothing.
TEST_F(EndToEnd, EveryImageShowsAPictureOrTheJobFails) {
  // A second of sound, and pictures as given, each clip an AVI file.
  const auto make = [&](const char* name, const std::string& picture, const std::string& rest) {
    return folder_.make(name, "-f lavfi -i testsrc2=" + picture +
                                  ":rate=25 -f lavfi -i sine=sample_rate=22050:duration=1 " + rest +
                                  " -c:a pcm_s16le");
  };
  const std::string one = make("one frame.avi", "size=320x240", "-frames:v 1 -c:v mpeg4");
  const std::string short5 = make("tenth of a second.avi", "size=64x48", "-t 0.1 -c:v mpeg4");
  const std::string thin = make("thin.avi", "size=2x600", "-t 0.5 -c:v rawvideo -pix_fmt bgr24");
  const std::string second = make("second.avi", "size=64x48", "-t 1 -c:v mpeg4");
  ASSERT_FALSE(one.empty() || short5.empty() || thin.empty() || second.empty());
  std::vector<std::uint8_t> bytes = test::readFile(second);
  ASSERT_TRUE(setAviFrameRate(bytes, 1'000'000, 1));
  const std::string forged = folder_.path("forged.avi").string();
  test::writeFile(forged, bytes);

  struct Case {
    std::string input;
    FrameRateChoice frameRateIndex;
    int result;
    std::string error;  // part of lastErrorText
  };
  const std::vector<Case> cases = {
      {one, FrameRateChoice::kAuto, kJobOk, ""},
      {short5, FrameRateChoice::kKeep1of5, kJobOk, ""},
      {forged, FrameRateChoice::kAuto, kJobInputError, "1000000 frames per second"},
      {thin, FrameRateChoice::kAuto, kJobInputError, "too thin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    ConversionJob job;
    job.inputPath = c.input;
    job.outputPath = c.input + ".gba";
    job.frameRateIndex = c.frameRateIndex;
    CancelSource cancel;
    ASSERT_EQ(runConversionJob(job, cancel), c.result) << lastErrorText();
    EXPECT_FALSE(temporaryFilesLeft());
    if (c.result == kJobOk) {
      const Image image = readImage(job.outputPath);
      EXPECT_TRUE(image.valid);
      EXPECT_EQ(image.frameCount, 1u);
      EXPECT_GT(image.blockCount, 2u) << "the sound outlasts the one frame";
    } else {
      EXPECT_NE(lastErrorText().find(c.error), std::string::npos) << lastErrorText();
      EXPECT_FALSE(fs::exists(job.outputPath));
    }
  }
}

}  // namespace
}  // namespace zepra
