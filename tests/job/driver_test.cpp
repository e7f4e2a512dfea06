#include "job/conversion_driver.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fake_graph.h"
#include "job/rom_builder.h"
#include "platform/job_state.h"

namespace fs = std::filesystem;
using zepra::test::GraphScript;

namespace {

class Driver : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("zepra-driver-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    stream = (dir / "stream").string();
    zepra::jobCancelled = false;
  }
  void TearDown() override { fs::remove_all(dir); }

  int run(GraphScript& script, int width = -1, int bitrate = 120, std::string path = {},
          const zepra::SizeControl& size = {}) {
    const int trim[4] = {0, 0, 0, 0};
    return zepra::runConversion("in.avi", path.empty() ? stream : path, trim, false, width, -1, -1,
                                3, bitrate, 1.33f, cancel, zepra::test::fakeGraphFactory(script), size);
  }

  std::vector<std::uint8_t> streamBytes() const {
    std::ifstream in(stream, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  fs::path dir;
  std::string stream;
  zepra::CancelSource cancel;
};

std::uint32_t word(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

}  // namespace

TEST_F(Driver, EachFailingStepHasItsCodeAndTheGraphIsAlwaysReleased) {
  struct Case {
    const char* name;
    void (*arrange)(GraphScript&);
    int width;
    int bitrate;
    bool emptyPath;
    int code;
    std::vector<std::string> calls;
  } cases[] = {
      {"empty stream path", [](GraphScript&) {}, -1, 120, true, -2, {}},
      {"width not a multiple of 4", [](GraphScript&) {}, 238, 120, false, -3, {}},
      {"bitrate 0", [](GraphScript&) {}, -1, 0, false, -3, {}},
      {"build fails", [](GraphScript& s) { s.buildOk = false; }, -1, 120, false, -4,
       {"build in.avi", "release"}},
      {"frame count fails", [](GraphScript& s) { s.queryOk = false; }, -1, 120, false, -6,
       {"build in.avi", "query", "release"}},
      {"run fails", [](GraphScript& s) { s.runOk = false; }, -1, 120, false, -5,
       {"build in.avi", "query", "run", "release"}},
      {"run throws", [](GraphScript& s) { s.throwInRun = true; }, -1, 120, false, -999,
       {"build in.avi", "query", "run", "release"}},
  };
  for (const Case& c : cases) {
    GraphScript script;
    c.arrange(script);
    const int trim[4] = {0, 0, 0, 0};
    const int code = zepra::runConversion("in.avi", c.emptyPath ? "" : stream, trim, false, c.width,
                                          -1, -1, 3, c.bitrate, 1.33f, cancel,
                                          zepra::test::fakeGraphFactory(script));
    EXPECT_EQ(code, c.code) << c.name;
    EXPECT_EQ(script.calls, c.calls) << c.name;
    fs::remove(stream);
  }
}

TEST_F(Driver, FailuresBeforeTheStreamIsOpenedLeaveNoStreamFile) {
  GraphScript script;
  script.queryOk = false;
  EXPECT_EQ(run(script), -6);
  EXPECT_FALSE(fs::exists(stream));
}

TEST_F(Driver, FailedRunStillClosesTheStreamBeforeTheGraphIsReleased) {
  GraphScript script;
  script.runOk = false;
  std::uintmax_t sizeAtRelease = 0;
  script.onRelease = [&] { sizeAtRelease = fs::file_size(stream); };
  EXPECT_EQ(run(script), -5);
  EXPECT_GE(sizeAtRelease, 12u);  // header written and the file closed
}

TEST_F(Driver, CancelledRunKeepsFrameCountZeroAndWritesNoTrailer) {
  GraphScript script;
  script.frames = 6;
  script.beforeFrame = [this](int frame) {
    if (frame == 4) cancel.requestCancel();
  };
  EXPECT_EQ(run(script), -5);
  EXPECT_TRUE(zepra::jobCancelled);
  auto bytes = streamBytes();
  ASSERT_GE(bytes.size(), 12u);
  EXPECT_EQ(word(bytes, 0), 0u);
  EXPECT_EQ(script.calls.back(), "release");
  zepra::jobCancelled = false;
}

TEST_F(Driver, StreamThatCannotBeCreatedFailsTheJob) {
  GraphScript script;
  EXPECT_EQ(run(script, -1, 120, (dir / "no-such-folder" / "stream").string()), -7);
  EXPECT_EQ(script.calls, (std::vector<std::string>{"build in.avi", "query", "release"}));
  EXPECT_NE(zepra::lastErrorText().find("no-such-folder"), std::string::npos);
}

TEST_F(Driver, SuccessfulRunWritesACompleteStream) {
  GraphScript script;
  script.frames = 6;
  ASSERT_EQ(run(script), 0);
  auto bytes = streamBytes();
  ASSERT_GE(bytes.size(), 12u);
  // 25 frames per second in "Auto" keeps one frame of every two.
  EXPECT_EQ(word(bytes, 0), 3u);
  EXPECT_EQ(word(bytes, 8), 160u | (160u << 16));  // a square picture fills the height
  // Walk the records to the trailer, which holds whole blocks of sound.
  std::size_t at = 12;
  for (std::uint32_t k = 0; k < word(bytes, 0); ++k) {
    ASSERT_LE(at + 4, bytes.size());
    at += word(bytes, at) & 0xFFFF;
  }
  ASSERT_LE(at + 4, bytes.size());
  EXPECT_GT(word(bytes, at), 0u);
  EXPECT_EQ(bytes.size(), at + 4 + 176u * word(bytes, at));
}

// A stream that fills the disk mid-run must not pass as a finished stream,
// nor as a fault of the input: the run stops at the frame that could not be
// written, and the result says the stream could not be written.
TEST_F(Driver, StreamThatCannotBeCompletedFailsTheJob) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limit{100, saved.rlim_max};
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  GraphScript script;
  script.stopWhenRefused = true;
  zepra::setLastErrorText({});
  const int code = run(script);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(code, -7);
  EXPECT_EQ(zepra::lastErrorText(), "The stream file could not be written.");
  EXPECT_EQ(script.calls.back(), "release");
}

// A clip whose pictures the reduction would all drop still shows its last
// one; a run that delivers no picture at all is no success.
TEST_F(Driver, EveryClipWithAPictureMakesAFrameAndOneWithoutFails) {
  struct Case {
    int frames;
    int code;
    std::uint32_t frameCount;
  } cases[] = {{1, 0, 1}, {0, -5, 0}};
  for (const Case& c : cases) {
    GraphScript script;
    script.frames = c.frames;  // 25 frames per second in "Auto" keeps one of every two
    zepra::setLastErrorText({});
    EXPECT_EQ(run(script), c.code) << c.frames << " frames";
    if (c.code == 0) {
      EXPECT_EQ(word(streamBytes(), 0), c.frameCount);
    } else {
      EXPECT_EQ(zepra::lastErrorText(), "The input file has no picture to convert.");
    }
  }
}

// One frame every 500 seconds needs 5.8 MB of sound trailer per frame: the
// sixth frame takes the image past 32 MiB, and the run stops there. Between
// other videos of a cartridge (bytesBefore, bytesAfter) the whole image counts.
TEST_F(Driver, AStreamThatOutgrowsTheCartridgeStopsAtOnce) {
  const struct {
    std::uint64_t bytesBefore, bytesAfter;
    int framesDelivered;
  } cases[] = {{0, 0, 6}, {20 << 20, 0, 3}, {0, 20 << 20, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytesBefore) + " before, " + std::to_string(c.bytesAfter) + " after");
    GraphScript script;
    script.frames = 10;
    script.announcedFrames = 1;  // a container that understates its length
    script.frameDuration = 5'000'000'000LL;
    script.stopWhenRefused = true;
    zepra::SizeControl size;
    size.bytesBefore = c.bytesBefore;
    size.bytesAfter = c.bytesAfter;
    EXPECT_EQ(run(script, -1, 120, {}, size), zepra::kDriverImageTooBig);
    EXPECT_EQ(zepra::lastErrorText(), zepra::kRomTooBigText);
    EXPECT_EQ(script.framesDelivered, c.framesDelivered);
    EXPECT_EQ(script.calls.back(), "release");
    EXPECT_LT(fs::file_size(stream), 1u << 20) << "no trailer (5.8 MB a frame) for an image that cannot be";
  }
}

// An input whose stated length cannot fit even with the smallest frames is
// refused before a frame is decoded, with the longest length that fits.
TEST_F(Driver, AVideoTooLongForAnyCartridgeIsRefusedBeforeItsFirstFrame) {
  GraphScript script;
  script.frames = 10;
  script.frameDuration = 5'000'000'000LL;  // 500 s a frame: 5 fit, 6 do not
  EXPECT_EQ(run(script), zepra::kDriverImageTooBig);
  EXPECT_NE(zepra::lastErrorText().find("at most 41:40 of video"), std::string::npos) << zepra::lastErrorText();
  EXPECT_EQ(script.framesDelivered, 0);
  EXPECT_FALSE(fs::exists(stream) && fs::file_size(stream) > 0);
}

// The encoder's reason replaces the graph's general format error.
TEST_F(Driver, APictureTooThinToFitSaysSo) {
  GraphScript script;
  script.width = 1;
  script.height = 400;
  EXPECT_EQ(run(script), -4);
  EXPECT_NE(zepra::lastErrorText().find("too thin"), std::string::npos) << zepra::lastErrorText();
  EXPECT_FALSE(fs::exists(stream));
}
