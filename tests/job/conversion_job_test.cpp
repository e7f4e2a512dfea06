#include "job/conversion_job.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "fake_graph.h"
#include "platform/job_state.h"
#include "player/player_image.h"

namespace fs = std::filesystem;
using zepra::ConversionJob;
using zepra::DriverArguments;
using zepra::test::GraphScript;

TEST(DriverArguments, FollowTheTrimModeAspectFrameRateAndGammaSettings) {
  using zepra::FrameRateChoice;
  using zepra::TrimMode;
  struct Case {
    TrimMode trimMode;
    bool keepAspect;
    bool gammaEnabled;
    FrameRateChoice frameRateIndex;
    int trim[4];
    bool autoTrim;
    int width, height, mode;
    float gamma;
  } cases[] = {
      {TrimMode::kNone, true, true, FrameRateChoice::kAuto, {0, 0, 0, 0}, false, -1, -1, -1, 1.5f},
      {TrimMode::kAuto, true, true, FrameRateChoice::kOriginal, {0, 0, 0, 0}, true, -1, -1, 0, 1.5f},
      {TrimMode::kMarginsThenAuto, false, true, FrameRateChoice::kKeep1of5, {1, 2, 3, 4}, true, 200, 120, 7,
       1.5f},
      {TrimMode::kMargins, false, false, FrameRateChoice::kKeep1of2, {1, 2, 3, 4}, false, 200, 120, 3, 1.0f},
      {static_cast<TrimMode>(7), false, false, FrameRateChoice::kKeep4of5, {0, 0, 0, 0}, false, 200, 120, 1,
       1.0f},
  };
  for (const Case& c : cases) {
    ConversionJob job;
    job.trimMode = c.trimMode;
    job.keepAspect = c.keepAspect;
    job.gammaEnabled = c.gammaEnabled;
    job.gamma = 1.5f;
    job.frameRateIndex = c.frameRateIndex;
    job.width = 200;
    job.height = 120;
    job.trimLeft = 1;
    job.trimBottom = 2;
    job.trimRight = 3;
    job.trimTop = 4;
    DriverArguments a = zepra::driverArguments(job);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a.trim[i], c.trim[i]) << static_cast<int>(c.trimMode) << " trim " << i;
    EXPECT_EQ(a.autoTrim, c.autoTrim) << static_cast<int>(c.trimMode);
    EXPECT_EQ(a.width, c.width);
    EXPECT_EQ(a.height, c.height);
    EXPECT_EQ(a.frameRateMode, c.mode);
    EXPECT_EQ(a.gamma, c.gamma);  // exactly 1.0 when the correction is off
  }
}

namespace {

struct DoneRecorder : zepra::NotifyWindow {
  std::vector<int> done;
  std::vector<std::uint64_t> frameTotals;
  void postDone(int result) override { done.push_back(result); }
  void sendProgress(int) override {}
  void sendStatus(const std::string&) override {}
  void sendFrameTotal(std::uint64_t frames) override { frameTotals.push_back(frames); }
};

class Job : public ::testing::Test {
 protected:
  void SetUp() override {
    base = fs::temp_directory_path() / ("zepra-job-" + std::to_string(getpid()));
    fs::remove_all(base);
    tmp = base / "tmp";
    fs::create_directories(tmp);
    const char* old = std::getenv("TMPDIR");
    savedTmpdir = old ? old : "";
    hadTmpdir = old != nullptr;
    setenv("TMPDIR", tmp.c_str(), 1);
    job.inputPath = "clip.avi";
    job.outputPath = (base / "out.gba").string();
    job.romTitle = "TESTCLIP";
    zepra::notifyWindow = &recorder;
    zepra::resetJobState();
  }
  void TearDown() override {
    zepra::notifyWindow = nullptr;
    if (hadTmpdir) setenv("TMPDIR", savedTmpdir.c_str(), 1); else unsetenv("TMPDIR");
    fs::remove_all(base);
  }

  int run(GraphScript& script) { return run(script, cancel); }
  int run(GraphScript& script, zepra::CancelSource& source) {
    return zepra::runConversionJob(job, source, zepra::test::fakeGraphFactory(script));
  }
  std::string outputContent() const {
    std::ifstream in(job.outputPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool tempFolderEmpty() const { return fs::is_empty(tmp); }

  fs::path base, tmp;
  std::string savedTmpdir;
  bool hadTmpdir = false;
  ConversionJob job;
  DoneRecorder recorder;
  zepra::CancelSource cancel;
};

}  // namespace

TEST_F(Job, SuccessWritesTheImageAndPostsZeroOnce) {
  GraphScript script;
  EXPECT_EQ(run(script), 0);
  EXPECT_EQ(recorder.done, std::vector<int>{0});
  EXPECT_EQ(recorder.frameTotals, std::vector<std::uint64_t>{5});  // the input's length, for progress lines
  EXPECT_TRUE(tempFolderEmpty());
  ASSERT_TRUE(fs::exists(job.outputPath));
  const auto size = fs::file_size(job.outputPath);
  EXPECT_EQ(size % 0x8000, 0u);
  std::ifstream in(job.outputPath, std::ios::binary);
  std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  auto image = zepra::playerImage();
  ASSERT_GT(file.size(), image.size() + 12);
  EXPECT_EQ(std::string(file.begin() + 0xA0, file.begin() + 0xAC), std::string("TESTCLIP\0\0\0\0", 12));
  EXPECT_EQ(file[image.size() + 8], 160);  // the stream header (its width) follows the player
  // The image is in place: a cancel now is too late and says so.
  EXPECT_FALSE(cancel.requestCancel());
}

// Until the image is in place a cancel means no image: the older output
// stays as it was, nothing is left behind, and the job ends as cancelled.
TEST_F(Job, ACancelAtAnyPointBeforeTheImageIsInPlaceWritesNothing) {
  struct Case {
    const char* when;
    void (*arrange)(GraphScript&, zepra::CancelSource&);
  } cases[] = {
      {"before the run", [](GraphScript&, zepra::CancelSource& c) { c.requestCancel(); }},
      {"while decoding",
       [](GraphScript& s, zepra::CancelSource& c) { s.beforeFrame = [&c](int f) { if (f == 2) c.requestCancel(); }; }},
      {"after the last frame, while the stream is closed",
       [](GraphScript& s, zepra::CancelSource& c) { s.onRelease = [&c] { c.requestCancel(); }; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.when);
    std::ofstream(job.outputPath, std::ios::binary | std::ios::trunc) << "older image";
    GraphScript script;
    zepra::CancelSource source;
    c.arrange(script, source);
    recorder.done.clear();
    EXPECT_EQ(run(script, source), 5);
    EXPECT_EQ(recorder.done, std::vector<int>{5});
    EXPECT_TRUE(zepra::jobCancelled);
    EXPECT_EQ(outputContent(), "older image");
    EXPECT_TRUE(tempFolderEmpty());
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 2) << "only tmp and the output";
  }
}

// A job starts clean: a failure that records no detail of its own never
// shows what an earlier job or step left behind.
TEST_F(Job, AJobStartsWithTheJobStateCleared) {
  zepra::jobCancelled = true;
  zepra::setLastErrorText("left from an earlier job");
  GraphScript script;
  script.runOk = false;
  EXPECT_EQ(run(script), 5);
  EXPECT_FALSE(zepra::jobCancelled);
  EXPECT_EQ(zepra::lastErrorText(), "");
}

TEST_F(Job, DriverFailuresPostTheirPositiveCodeAndLeaveNothingBehind) {
  struct Case {
    void (*arrange)(GraphScript&, ConversionJob&);
    int code;
  } cases[] = {
      {[](GraphScript&, ConversionJob& j) { j.bitrate = 0; }, 3},
      {[](GraphScript& s, ConversionJob&) { s.buildOk = false; }, 4},
      {[](GraphScript& s, ConversionJob&) { s.runOk = false; }, 5},
      {[](GraphScript& s, ConversionJob&) { s.queryOk = false; }, 6},
      {[](GraphScript& s, ConversionJob&) { s.throwInRun = true; }, 999},
  };
  for (const Case& c : cases) {
    GraphScript script;
    ConversionJob saved = job;
    c.arrange(script, job);
    recorder.done.clear();
    EXPECT_EQ(run(script), c.code);
    EXPECT_EQ(recorder.done, std::vector<int>{c.code});
    EXPECT_TRUE(tempFolderEmpty()) << c.code;
    EXPECT_FALSE(fs::exists(job.outputPath)) << c.code;
    job = saved;
  }
}

TEST_F(Job, StreamFileThatCannotBeReadBackIsReported) {
  GraphScript gone;
  gone.onRelease = [this] {
    for (auto& f : fs::directory_iterator(tmp)) fs::remove(f.path());
  };
  EXPECT_EQ(run(gone), 1001);

  GraphScript folder;
  folder.onRelease = [this] {
    for (auto& f : fs::directory_iterator(tmp)) {
      fs::remove(f.path());
      fs::create_directory(f.path());
    }
  };
  EXPECT_EQ(run(folder), 1003);
  EXPECT_NE(zepra::lastErrorText().find("could not be read back"), std::string::npos) << zepra::lastErrorText();
  EXPECT_EQ(recorder.done, (std::vector<int>{1001, 1003}));
  EXPECT_TRUE(tempFolderEmpty());
  EXPECT_FALSE(fs::exists(job.outputPath));
}

TEST_F(Job, ImageThatCannotBeWrittenPosts1000WithItsReason) {
  job.outputPath = (base / "missing" / "out.gba").string();
  GraphScript script;
  EXPECT_EQ(run(script), 1000);
  EXPECT_EQ(zepra::lastErrorText(), "输出文件夹打开失败");
  EXPECT_TRUE(tempFolderEmpty());
}

// No place for the stream file is the stream's failure (7), not the image's.
TEST_F(Job, NoTemporaryFolderStillPostsACompletion) {
  setenv("TMPDIR", (base / "missing").c_str(), 1);
  GraphScript script;
  EXPECT_EQ(run(script), 7);
  EXPECT_EQ(recorder.done, std::vector<int>{7});
  EXPECT_NE(zepra::lastErrorText().find("temporary"), std::string::npos);
  EXPECT_TRUE(script.calls.empty());
}

TEST_F(Job, APipeAsInputIsRefusedBeforeAnythingIsOpened) {
  const fs::path fifo = base / "clip.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  job.inputPath = fifo.string();
  GraphScript script;
  // Opening a pipe without a writer would block: the job must not even try.
  EXPECT_EQ(run(script), zepra::kJobInputError);
  EXPECT_EQ(recorder.done, std::vector<int>{zepra::kJobInputError});
  EXPECT_NE(zepra::lastErrorText().find("is a pipe"), std::string::npos) << zepra::lastErrorText();
  EXPECT_TRUE(script.calls.empty());
  EXPECT_TRUE(tempFolderEmpty());
  EXPECT_FALSE(fs::exists(job.outputPath));
}
