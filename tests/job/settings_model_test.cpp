#include "job/settings_model.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "job/input_check.h"
#include "tests/job/same_job.h"

namespace zepra {
namespace {

namespace fs = std::filesystem;

using test::expectSameJob;

TEST(SettingsModel, PresetsSetTheFieldsTheDialogsButtonsSet) {
  // Start from a job that differs from the defaults everywhere.
  ConversionJob busy;
  busy.width = 120, busy.height = 80, busy.keepAspect = false, busy.trimMode = TrimMode::kMarginsThenAuto;
  busy.trimLeft = busy.trimBottom = busy.trimRight = busy.trimTop = 7;
  busy.frameRateIndex = FrameRateChoice::kKeep2of5, busy.preFilter = kNoFilter, busy.gammaEnabled = false, busy.gamma = 3.0f;
  busy.bitrate = 77, busy.romTitle = "KEEP";

  auto common = [](ConversionJob& j) {
    j.trimLeft = j.trimBottom = j.trimRight = j.trimTop = 0;
    j.frameRateIndex = FrameRateChoice::kAuto, j.preFilter = k4xDithering, j.gammaEnabled = true, j.gamma = 1.33f;
  };
  ConversionJob fit = busy, crop = busy, stretch = busy, manual = busy;
  applyPreset(fit, Preset::kFit);
  applyPreset(crop, Preset::kCrop);
  applyPreset(stretch, Preset::kStretch);
  applyPreset(manual, Preset::kManual);

  ConversionJob want = busy;
  common(want);
  want.keepAspect = true, want.trimMode = TrimMode::kNone;  // width and height stay as they were
  expectSameJob(want, fit);
  want.trimMode = TrimMode::kAuto;
  expectSameJob(want, crop);
  want = busy;
  common(want);
  want.keepAspect = false, want.width = 240, want.height = 160, want.trimMode = TrimMode::kNone;
  expectSameJob(want, stretch);
  expectSameJob(busy, manual);
}

TEST(SettingsModel, AutomaticTrimForcesTheAspectAndOpensOnlyTheFieldsInEffect) {
  struct Case {
    TrimMode trimMode;
    bool keepAspect;
    bool gammaEnabled;
    bool keepAspectAfterRule;
    bool margins, aspect, size, gamma;  // fieldInEffect after the rule
  } cases[] = {
      {TrimMode::kNone, false, true, false, false, true, true, true},
      {TrimMode::kAuto, false, true, true, false, false, false, true},
      {TrimMode::kMarginsThenAuto, false, false, true, true, false, false, false},
      {TrimMode::kMargins, false, true, false, true, true, true, true},
      {TrimMode::kMargins, true, false, true, true, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.trimMode));
    ConversionJob job;
    job.trimMode = c.trimMode;
    job.keepAspect = c.keepAspect;
    job.gammaEnabled = c.gammaEnabled;
    applyAutoTrimRule(job);
    EXPECT_EQ(job.keepAspect, c.keepAspectAfterRule);
    EXPECT_EQ(fieldInEffect(job, OptionField::kTrimMargins), c.margins);
    EXPECT_EQ(fieldInEffect(job, OptionField::kKeepAspect), c.aspect);
    EXPECT_EQ(fieldInEffect(job, OptionField::kSize), c.size);
    EXPECT_EQ(fieldInEffect(job, OptionField::kGamma), c.gamma);
    for (OptionField always : {OptionField::kTrimMode, OptionField::kFrameRate, OptionField::kPreFilter,
                               OptionField::kGammaEnabled}) {
      EXPECT_TRUE(fieldInEffect(job, always));
    }
  }
}

TEST(SettingsModel, TitlesWithControlCharactersOrBrokenUtf8AreRefused) {
  struct Case {
    const char* name;
    std::string title;
    const char* problem;  // a word of the problem, or null for a good title
  } cases[] = {
      {"plain", "HOLIDAY 2026", nullptr},
      {"empty", "", nullptr},
      {"accented", "F\xC3\xAATE", nullptr},
      {"four-byte character", "\xF0\x9F\x8E\xAC", nullptr},
      {"tab", "A\tB", "control"},
      {"line break", "A\nB", "control"},
      {"escape", "\x1B[2J", "control"},
      {"delete", "A\x7F", "control"},
      {"C1 control", "A\xC2\x85", "control"},
      {"zero byte", std::string("A\0B", 3), "control"},
      {"stray continuation byte", "A\x80", "UTF-8"},
      {"Latin-1 byte", "F\xEATE", "UTF-8"},
      {"cut sequence", "A\xE2\x82", "UTF-8"},
      {"overlong slash", "\xC0\xAF", "UTF-8"},
      {"surrogate", "\xED\xA0\x80", "UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<std::string> problem = titleProblem(c.title);
    if (c.problem == nullptr) {
      EXPECT_FALSE(problem) << *problem;
    } else {
      ASSERT_TRUE(problem);
      EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    }
  }
}

TEST(InputCheck, OnlyReadableRegularFilesAreInputs) {
  const fs::path dir = fs::temp_directory_path() / ("zepra-input-check-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::ofstream(dir / "clip.avi") << "video";
  fs::create_symlink(dir / "clip.avi", dir / "link.avi");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (dir / "sock").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  struct Case {
    fs::path path;
    const char* problem;  // a word of inputFileProblem, or null
    bool refusedByJob;    // specialInputProblem
  } cases[] = {
      {dir / "clip.avi", nullptr, false},
      {dir / "link.avi", nullptr, false},
      {dir / "missing.avi", "does not exist", false},
      {dir / "clip.avi" / "x", "does not exist", false},
      {dir, "folder", false},
      {dir / "fifo", "pipe", true},
      {dir / "sock", "socket", true},
      {"/dev/null", "device", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string());
    const std::optional<std::string> problem = inputFileProblem(c.path.string());
    if (c.problem == nullptr) {
      EXPECT_FALSE(problem) << *problem;
    } else {
      ASSERT_TRUE(problem);
      EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    }
    EXPECT_EQ(specialInputProblem(c.path.string()).has_value(), c.refusedByJob);
  }
  close(sock);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zepra
