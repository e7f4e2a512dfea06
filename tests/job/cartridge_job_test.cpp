// A cartridge of several videos from start to end, with the fake decoding
// graph: the directory it writes, progress over the whole cartridge, one
// video as today's image, and a failing input that writes nothing.

#include "job/cartridge_job.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>

#include "fake_graph.h"
#include "format/cinepak.h"
#include "format/directory_check.h"
#include "format/stream_layout.h"
#include "platform/job_state.h"
#include "player/player_image.h"

namespace fs = std::filesystem;

namespace zepra {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Recorder : NotifyWindow {
  std::vector<int> done, progress;
  std::vector<std::string> statuses;
  void postDone(int result) override { done.push_back(result); }
  void sendProgress(int permille) override { progress.push_back(permille); }
  void sendStatus(const std::string& text) override { statuses.push_back(text); }
  void sendWarning(const std::string& text, WarningAdvice advice) override {
    warnings.push_back(text);
    advices.push_back(advice);
  }
  std::vector<std::string> warnings;
  std::vector<WarningAdvice> advices;
};

class CartridgeJob : public ::testing::Test {
 protected:
  void SetUp() override {
    base = fs::temp_directory_path() / ("zepra-cartridge-" + std::to_string(getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "tmp");
    setenv("TMPDIR", (base / "tmp").c_str(), 1);
    job.outputPath = (base / "cart.gba").string();
    job.romTitle = "SEASON";
    notifyWindow = &recorder;
  }
  void TearDown() override {
    notifyWindow = nullptr;
    unsetenv("TMPDIR");
    fs::remove_all(base);
  }

  // Every input's graph follows the script of its path (a default one when
  // the test set none).
  int run(const std::vector<CartridgeInput>& inputs) {
    for (const CartridgeInput& input : inputs) scripts[input.inputPath];
    CancelSource cancel;
    return runCartridgeJob(job, inputs, cancel, test::fakeGraphFactory(scripts));
  }
  bool anyRun() const {
    for (const auto& [path, script] : scripts)
      if (std::find(script.calls.begin(), script.calls.end(), "run") != script.calls.end()) return true;
    return false;
  }
  Bytes output() const {
    std::ifstream in(job.outputPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  fs::path base;
  ConversionJob job;
  Recorder recorder;
  std::map<std::string, test::GraphScript> scripts;
};

// The record types of a stream, in order.
std::vector<std::uint16_t> recordTypes(const std::uint8_t* stream) {
  std::vector<std::uint16_t> types;
  const std::uint8_t* record = stream + ZEPRA_STREAM_HEADER_BYTES;
  for (std::uint32_t k = 0; k < zepraLe32(stream); ++k) {
    types.push_back(static_cast<std::uint16_t>(zepraLe32(record) >> 16));
    record += zepraLe32(record) & 0xFFFF;
  }
  return types;
}

TEST_F(CartridgeJob, SeveralInputsBecomeOneImageWithTheirNamesInTheMenu) {
  // Small pictures keep the long second input quick; it lasts long enough
  // for key frames after its first frame.
  job.keepAspect = false;
  job.width = job.height = 32;
  scripts["/videos/b.avi"].frames = 230;
  const std::vector<CartridgeInput> inputs = {
      {"/videos/Pilot.mkv", ""}, {"/videos/b.avi", "The Sequel \xE2\x80\x94 episode 2"}, {"/v/third.one.mp4", ""}};
  ASSERT_EQ(run(inputs), kJobOk) << lastErrorText();
  EXPECT_EQ(recorder.done, std::vector<int>{kJobOk});

  const Bytes image = output();
  const std::uint32_t at = static_cast<std::uint32_t>(playerImage().size());
  ASSERT_EQ(zepraDirectoryCount(image.data(), at), 3u);
  const char* names[] = {"Pilot", "The Sequel ? episode 2", "third.one"};
  for (std::uint32_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(zepraDirectoryEntryValid(image.data(), at, i));
    EXPECT_STREQ(reinterpret_cast<const char*>(zepraDirectoryEntry(image.data(), at, i)), names[i]);
  }
  // The second input is the longer one: its stream has more frames.
  auto frames = [&](std::uint32_t i) {
    return zepraLe32(image.data() + zepraLe32(zepraDirectoryEntry(image.data(), at, i) + ZEPRA_ENTRY_OFFSET_AT));
  };
  EXPECT_GT(frames(1), frames(0));
  EXPECT_EQ(frames(2), frames(0));
  EXPECT_EQ(std::string(image.begin() + 0xA0, image.begin() + 0xA6), "SEASON");

  // Progress runs once over the whole cartridge, each input in its third.
  ASSERT_FALSE(recorder.progress.empty());
  EXPECT_TRUE(std::is_sorted(recorder.progress.begin(), recorder.progress.end()));
  EXPECT_LE(recorder.progress.back(), 1000);
  EXPECT_GE(recorder.progress.back(), 990);
  EXPECT_TRUE(std::any_of(recorder.progress.begin(), recorder.progress.end(), [](int p) { return p > 333 && p < 667; }));
  EXPECT_EQ(recorder.statuses.front(), "video 1 of 3: Pilot");
  EXPECT_NE(std::find(recorder.statuses.begin(), recorder.statuses.end(), "video 3 of 3: third.one"),
            recorder.statuses.end());
  EXPECT_TRUE(fs::is_empty(base / "tmp"));

  // Each stream is the one-video conversion of its input with the
  // cartridge's key frames: the second carries some after its first frame.
  for (std::uint32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ConversionJob one = job;
    one.inputPath = inputs[i].inputPath;
    one.keyFrameSeconds = kCartridgeKeyFrameSeconds;
    test::GraphScript script;
    script.frames = scripts[one.inputPath].frames;
    CancelSource cancel;
    Bytes single;
    ASSERT_EQ(convertToStream(one, cancel, test::fakeGraphFactory(script), sizeControl(one), single), kJobOk)
        << lastErrorText();
    const std::uint8_t* entry = zepraDirectoryEntry(image.data(), at, i);
    ASSERT_EQ(zepraLe32(entry + ZEPRA_ENTRY_LENGTH_AT), single.size());
    EXPECT_TRUE(std::equal(single.begin(), single.end(), image.begin() + zepraLe32(entry + ZEPRA_ENTRY_OFFSET_AT)));
  }
  const auto types = recordTypes(image.data() + zepraLe32(zepraDirectoryEntry(image.data(), at, 1) + ZEPRA_ENTRY_OFFSET_AT));
  EXPECT_EQ(std::count(types.begin(), types.end(), ZEPRA_CINEPAK_INTRA_STRIP), 3);
}

TEST_F(CartridgeJob, OneInputWritesTodaysImageByteForByte) {
  ASSERT_EQ(run({{"/videos/clip.avi", "a name nobody sees"}}), kJobOk) << lastErrorText();
  const Bytes cartridge = output();
  job.inputPath = "/videos/clip.avi";
  test::GraphScript script;
  CancelSource cancel;
  ASSERT_EQ(runConversionJob(job, cancel, test::fakeGraphFactory(script)), kJobOk);
  EXPECT_EQ(cartridge, output());
}

// An input that cannot be opened fails before any video is converted; one
// that fails while converting stops the job there. Either keeps its own code.
TEST_F(CartridgeJob, AFailingInputNamesItselfAndNothingIsWritten) {
  const struct {
    const char* what;
    void (*arrange)(test::GraphScript&);
    int result;
    bool firstConverted;
  } cases[] = {
      {"conversion fails", [](test::GraphScript& s) { s.runOk = false; }, kJobRunFailed, true},
      {"cannot be opened", [](test::GraphScript& s) { s.buildOk = false; }, kJobInputError, false},
      {"no length", [](test::GraphScript& s) { s.queryOk = false; }, kJobNoFrameCount, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    scripts.clear();
    recorder = {};
    std::ofstream(job.outputPath, std::ios::binary) << "older image";
    c.arrange(scripts["/videos/broken.avi"]);
    EXPECT_EQ(run({{"/videos/one.avi", ""}, {"/videos/broken.avi", ""}, {"/videos/three.avi", ""}}), c.result);
    EXPECT_EQ(recorder.done, std::vector<int>{c.result});
    EXPECT_EQ(lastErrorText().rfind("\"/videos/broken.avi\": ", 0), 0u) << lastErrorText();
    EXPECT_EQ(scripts["/videos/one.avi"].framesDelivered > 0, c.firstConverted);
    EXPECT_EQ(scripts["/videos/three.avi"].framesDelivered, 0) << "the job went on after a failure";
    EXPECT_EQ(output(), Bytes({'o', 'l', 'd', 'e', 'r', ' ', 'i', 'm', 'a', 'g', 'e'}));
    EXPECT_TRUE(fs::is_empty(base / "tmp"));
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 2) << "only tmp and the output";
  }
}

// 32 x 32 pixels at 25 frames per second: the sound and the smallest frames
// take about 10.3 KiB a second, so some 52 minutes fit 32 MiB.
TEST_F(CartridgeJob, ACartridgeThatCannotFitIsRefusedBeforeAnyFrame) {
  const struct {
    const char* what;
    std::size_t inputs;
    int announcedFrames;  // each input's
    std::uint64_t fitBytes;
    const char* says;
  } cases[] = {
      {"more videos than the menu holds", 65, 5, 0, "65 videos: a cartridge's menu holds at most 64"},
      {"each fits alone, not all together", 3, 25 * 1200, 0, "at most 52:"},
      {"too long for the target", 2, 25 * 10, 128 * 1024, "at most 0:0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    scripts.clear();
    recorder = {};
    job.fitBytes = c.fitBytes;
    std::vector<CartridgeInput> inputs;
    for (std::size_t i = 0; i < c.inputs; ++i) {
      inputs.push_back({"/videos/" + std::to_string(i) + ".avi", ""});
      scripts[inputs.back().inputPath].announcedFrames = c.announcedFrames;
    }
    EXPECT_EQ(run(inputs), kJobRomFailed);
    EXPECT_NE(lastErrorText().find(c.says), std::string::npos) << lastErrorText();
    EXPECT_FALSE(anyRun());
    EXPECT_TRUE(recorder.progress.empty());
    EXPECT_EQ(recorder.done, std::vector<int>{kJobRomFailed});
    EXPECT_FALSE(fs::exists(job.outputPath));
  }
}

// The first input understates its length (one frame announced, five of
// 500 s each come, 5 MiB of sound each); the second is announced 20 minutes
// long (12.4 MiB at the least). The first stops at its fourth frame, when the
// two can no longer fit together, and the second is never converted.
TEST_F(CartridgeJob, TheConversionStopsAsSoonAsTheWholeCartridgeCannotFit) {
  const std::vector<CartridgeInput> inputs = {{"/videos/long.avi", ""}, {"/videos/next.avi", ""}};
  test::GraphScript& first = scripts[inputs[0].inputPath];
  first.frames = 5;
  first.announcedFrames = 1;
  first.frameDuration = 5'000'000'000LL;
  first.stopWhenRefused = true;
  scripts[inputs[1].inputPath].announcedFrames = 25 * 60 * 20;
  EXPECT_EQ(run(inputs), kJobRomFailed);
  EXPECT_EQ(lastErrorText().rfind("\"/videos/long.avi\": ", 0), 0u) << lastErrorText();
  // Frames already on their way to the compressor may still be decoded.
  EXPECT_GE(first.framesDelivered, 4);
  EXPECT_LE(first.framesDelivered, 5);
  EXPECT_EQ(scripts[inputs[1].inputPath].framesDelivered, 0);
  EXPECT_FALSE(fs::exists(job.outputPath));
}

// Only the largest image of the whole cartridge could pass 32 MiB: one
// warning at the start, for the cartridge, and the conversion goes on.
TEST_F(CartridgeJob, ACartridgeThatMayNotFitIsConvertedWithOneWarning) {
  job.bitrate = 500;
  const std::vector<CartridgeInput> inputs = {{"/videos/one.avi", ""}, {"/videos/two.avi", ""}};
  for (const CartridgeInput& input : inputs) scripts[input.inputPath].announcedFrames = 25 * 90;
  ASSERT_EQ(run(inputs), kJobOk) << lastErrorText();
  ASSERT_EQ(recorder.warnings.size(), 1u);
  EXPECT_NE(recorder.warnings.front().find("the cartridge can reach"), std::string::npos) << recorder.warnings.front();
  // The advice is each front end's to word for its own control.
  EXPECT_EQ(recorder.warnings.front().find("--fit"), std::string::npos) << recorder.warnings.front();
  EXPECT_EQ(recorder.advices.front(), WarningAdvice::kTargetOfLargestCartridge);
}

}  // namespace
}  // namespace zepra
