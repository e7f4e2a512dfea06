#include "cli/cli_app.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <thread>
#include <vector>

#include "cli/exit_codes.h"
#include "platform/job_state.h"

namespace zepra::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A command line run against a job double in a folder of its own.
class CliRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zepra-cli-test-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    input_ = dir_ / "in.avi";
    output_ = dir_ / "out.gba";
    writeFile(input_, "a video");
    env_.runJob = [this](const ConversionJob& job, CancelSource& cancel) {
      ++jobsRun_;
      ranJob_ = job;
      cancel_ = &cancel;
      return job_(job);
    };
    env_.quitNow = [this] { ++quitCalls_; };
    env_.in = &in_;
    env_.out = &out_;
    env_.err = &err_;
    env_.clock = [] { return std::chrono::steady_clock::time_point{}; };
  }
  void TearDown() override { fs::remove_all(dir_); }

  int run(std::vector<std::string> options) {
    std::vector<std::string> args = {"zepra-cli", input_.string(), "-o", output_.string()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return runCli(static_cast<int>(argv.size()), argv.data(), env_);
  }

  // A job that writes the image and succeeds, reporting progress on the way.
  static int succeed(const ConversionJob& job) {
    sendFrameTotal(3000);
    sendProgress(500);
    sendProgress(1000);
    sendStatus("Finalizing.....");
    writeFile(job.outputPath, std::string(65536, 'x'));
    postDone(kJobOk);
    return kJobOk;
  }

  fs::path dir_, input_, output_;
  CliEnvironment env_;
  std::function<int(const ConversionJob&)> job_ = succeed;
  ConversionJob ranJob_;
  int jobsRun_ = 0;
  std::atomic<CancelSource*> cancel_{nullptr};  // the running job's
  std::atomic<int> quitCalls_{0};
  std::istringstream in_;
  std::ostringstream out_, err_;
};

TEST_F(CliRun, SuccessWritesTheImageAndSaysSo) {
  EXPECT_EQ(run({"--title", "DEMO"}), kExitOk);
  EXPECT_EQ(jobsRun_, 1);
  EXPECT_EQ(ranJob_.romTitle, "DEMO");
  EXPECT_EQ(ranJob_.inputPath, input_.string());
  EXPECT_NE(err_.str().find("Finalizing....."), std::string::npos);
  EXPECT_NE(err_.str().find(" 50.0%  frame 1500 of 3000  elapsed"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("wrote " + output_.string() + " (64 KiB)"), std::string::npos) << err_.str();
  EXPECT_EQ(out_.str(), "");
  EXPECT_EQ(notifyWindow.load(), nullptr);
}

TEST_F(CliRun, QuietPrintsNothingOnSuccess) {
  EXPECT_EQ(run({"--quiet"}), kExitOk);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliRun, FailuresGiveTheirStatusMessageAndDetail) {
  job_ = [](const ConversionJob&) {
    setLastErrorText("ROM is bigger than 32MB(256Mbit)");
    postDone(kJobRomFailed);
    return kJobRomFailed;
  };
  EXPECT_EQ(run({"-q"}), 10);
  EXPECT_NE(err_.str().find("Input file error (1000): the cartridge image could not be written\n"
                            "zepra-cli: ROM is bigger than 32MB(256Mbit)\n"),
            std::string::npos)
      << err_.str();

  err_.str("");
  job_ = [](const ConversionJob&) {
    postDone(kJobUnexpected);
    return kJobUnexpected;
  };
  EXPECT_EQ(run({"-q"}), 9);
  EXPECT_NE(err_.str().find("unexpected error"), std::string::npos);
  EXPECT_EQ(err_.str().find("ROM is bigger"), std::string::npos) << "a new job starts without old details";
}

TEST_F(CliRun, AJobThatPostsNothingIsJudgedByWhatItReturns) {
  job_ = [](const ConversionJob&) { return kJobInputError; };
  EXPECT_EQ(run({}), 4);
}

TEST_F(CliRun, BadCommandLinesAndFilesStopBeforeTheJob) {
  EXPECT_EQ(run({"--bitrate", "600"}), kExitUsage);
  EXPECT_NE(err_.str().find("--bitrate"), std::string::npos);
  EXPECT_NE(err_.str().find("zepra-cli --help"), std::string::npos);

  fs::remove(input_);
  EXPECT_EQ(run({}), kExitUsage);
  EXPECT_NE(err_.str().find("does not exist"), std::string::npos);
  // A pipe is refused before anything opens it (with no writer, that would block).
  ASSERT_EQ(mkfifo(input_.c_str(), 0600), 0);
  EXPECT_EQ(run({}), kExitUsage);
  EXPECT_NE(err_.str().find("INPUT: \"" + input_.string() + "\" is a pipe"), std::string::npos) << err_.str();
  fs::remove(input_);
  writeFile(input_, "a video");

  output_ = dir_ / "missing" / "out.gba";
  EXPECT_EQ(run({}), kExitUsage);
  EXPECT_NE(err_.str().find("folder"), std::string::npos);

  output_ = dir_;
  EXPECT_EQ(run({}), kExitUsage);
  EXPECT_NE(err_.str().find("is a folder"), std::string::npos);

  output_ = input_;
  EXPECT_EQ(run({"-y"}), kExitUsage);
  EXPECT_NE(err_.str().find("input file itself"), std::string::npos);
  EXPECT_EQ(readFile(input_), "a video");
  EXPECT_EQ(jobsRun_, 0);
}

TEST_F(CliRun, HelpAndVersionGoToStandardOutput) {
  const char* help[] = {"zepra-cli", "--help"};
  EXPECT_EQ(runCli(2, help, env_), kExitOk);
  EXPECT_NE(out_.str().find("--trim-margins"), std::string::npos);
  EXPECT_EQ(jobsRun_, 0);
}

TEST_F(CliRun, AnExistingOutputIsReplacedOnlyWhenTheUserSaysSo) {
  struct Case {
    const char* name;
    std::vector<std::string> options;
    bool terminal;
    const char* answer;
    int exitCode;
  };
  const Case cases[] = {
      {"no terminal", {}, false, "", kExitNotReplaced},
      {"no terminal, -y", {"-y"}, false, "", kExitOk},
      {"-n", {"-n"}, true, "y\n", kExitNotReplaced},
      {"answer yes", {}, true, "yes\n", kExitOk},
      {"answer Y", {}, true, " Y \n", kExitOk},
      {"answer no", {}, true, "n\n", kExitNotReplaced},
      {"answer empty", {}, true, "\n", kExitNotReplaced},
      {"end of input", {}, true, "", kExitNotReplaced},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(output_, "earlier image");
    jobsRun_ = 0;
    err_.str("");
    in_.clear();
    in_.str(c.answer);
    env_.inIsTerminal = env_.errIsTerminal = c.terminal;
    EXPECT_EQ(run(c.options), c.exitCode);
    if (c.exitCode == kExitOk) {
      EXPECT_EQ(jobsRun_, 1);
    } else {
      EXPECT_EQ(jobsRun_, 0);
      EXPECT_EQ(readFile(output_), "earlier image");
      EXPECT_NE(err_.str().find(output_.string()), std::string::npos) << err_.str();
    }
    if (c.terminal && c.options.empty()) {
      EXPECT_NE(err_.str().find("replace it? [y/N]"), std::string::npos);
    }
  }
  // Without a terminal the message says how to go on.
  writeFile(output_, "earlier image");
  env_.inIsTerminal = false;
  err_.str("");
  EXPECT_EQ(run({}), kExitNotReplaced);
  EXPECT_NE(err_.str().find("-y"), std::string::npos);
  // A question on a redirected standard error would never be seen.
  env_.inIsTerminal = true;
  env_.errIsTerminal = false;
  in_.clear();
  in_.str("y\n");
  EXPECT_EQ(run({}), kExitNotReplaced);
}

// Sends the signal to this process, as the terminal or kill(1) would, and
// waits until the command line has taken it: signals pending at once merge.
void press(int signo) {
  kill(getpid(), signo);
  sigset_t pending;
  do {
    std::this_thread::yield();
    sigpending(&pending);
  } while (sigismember(&pending, signo));
}

// Waits (bounded) until what the command line does about a signal it has
// taken can be seen.
template <class Condition>
bool eventually(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!condition() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  return condition();
}

TEST_F(CliRun, EachStoppingSignalCancelsTheJobThroughItsOwnCancelSource) {
  for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(signo);
    err_.str("");
    job_ = [this, signo](const ConversionJob&) {
      sendProgress(100);
      press(signo);
      if (!eventually([this] { return cancel_.load()->cancelRequested(); })) return kJobOk;
      jobCancelled = true;
      postDone(kJobRunFailed);
      return kJobRunFailed;
    };
    EXPECT_EQ(run({}), kExitCancelled);
    EXPECT_NE(err_.str().find("cancelling"), std::string::npos);
    EXPECT_NE(err_.str().find("Process Canceled"), std::string::npos) << err_.str();
    EXPECT_FALSE(fs::exists(output_));
  }
}

TEST_F(CliRun, AJobThatDoesNotStopCanBeLeftWithTheThirdCtrlC) {
  job_ = [this](const ConversionJob& job) {
    for (int count = 1; count <= 3; ++count) {
      press(SIGINT);
      if (count < 3) {
        EXPECT_EQ(quitCalls_.load(), 0);
      }
    }
    EXPECT_TRUE(cancel_.load()->cancelRequested());
    EXPECT_TRUE(eventually([this] { return quitCalls_ == 1; }));
    return succeed(job);  // the double of quitting returns; the real one ends the program
  };
  run({});
  EXPECT_NE(err_.str().find("cancelling"), std::string::npos);
  EXPECT_NE(err_.str().find("press Ctrl-C once more to quit at once"), std::string::npos) << err_.str();
  EXPECT_EQ(quitCalls_.load(), 1);
}

TEST_F(CliRun, ACancelAfterTheImageIsInPlaceStillReportsTheImage) {
  job_ = [this](const ConversionJob& job) {
    EXPECT_TRUE(cancel_.load()->passLastCancelPoint());
    press(SIGTERM);
    return succeed(job);
  };
  EXPECT_EQ(run({}), kExitOk);
  EXPECT_FALSE(cancel_.load()->cancelRequested());
  EXPECT_NE(err_.str().find("finished before it could be cancelled"), std::string::npos) << err_.str();
}

// Several inputs: the cartridge job gets them all, in order, with their
// names; the progress line counts videos; changed names are noted; a bad
// second input stops everything before the job; a failing input fails the
// run as a single failing input would.
class CliCartridge : public CliRun {
 protected:
  void SetUp() override {
    CliRun::SetUp();
    second_ = dir_ / "Episode \xC3\xA9t\xC3\xA9 two.mkv";
    writeFile(second_, "another video");
    env_.runCartridge = [this](const ConversionJob& job, std::span<const CartridgeInput> inputs, CancelSource&) {
      ++jobsRun_;
      ranJob_ = job;
      ranInputs_.assign(inputs.begin(), inputs.end());
      return cartridgeJob_(job);
    };
  }
  int runBoth(std::vector<std::string> options) {
    std::vector<std::string> args = {"zepra-cli", input_.string(), second_.string(), "-o", output_.string()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return runCli(static_cast<int>(argv.size()), argv.data(), env_);
  }

  fs::path second_;
  std::vector<CartridgeInput> ranInputs_;
  std::function<int(const ConversionJob&)> cartridgeJob_ = [](const ConversionJob& job) {
    sendStatus("video 1 of 2: in");
    sendProgress(250);
    sendProgress(600);
    writeFile(job.outputPath, std::string(65536, 'x'));
    postDone(kJobOk);
    return kJobOk;
  };
};

TEST_F(CliCartridge, AllInputsGoToTheCartridgeJobWithProgressPerVideo) {
  EXPECT_EQ(runBoth({"--title", "SEASON"}), kExitOk) << err_.str();
  EXPECT_EQ(jobsRun_, 1);
  EXPECT_EQ(ranJob_.romTitle, "SEASON");
  ASSERT_EQ(ranInputs_.size(), 2u);
  EXPECT_EQ(ranInputs_[0].inputPath, input_.string());
  EXPECT_EQ(ranInputs_[1].inputPath, second_.string());
  EXPECT_EQ(ranInputs_[1].name, "");
  EXPECT_NE(err_.str().find("video 1 of 2: in"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find(" 60.0%  video 2 of 2  elapsed"), std::string::npos) << err_.str();
  // The file name without its extension loses its accented letters in the menu, visibly.
  EXPECT_NE(err_.str().find("note: the menu shows \"Episode \xC3\xA9t\xC3\xA9 two\" as \"Episode ?t? two\""),
            std::string::npos)
      << err_.str();
  EXPECT_EQ(err_.str().find("\"in\" as"), std::string::npos) << "a name kept as it is gets no note";
  EXPECT_NE(err_.str().find("wrote " + output_.string()), std::string::npos);
}

TEST_F(CliCartridge, GivenNamesThatAreCutAreNotedUnlessQuiet) {
  const std::string longName(40, 'L');
  EXPECT_EQ(runBoth({"--names", "Short," + longName}), kExitOk);
  ASSERT_EQ(ranInputs_.size(), 2u);
  EXPECT_EQ(ranInputs_[0].name, "Short");
  EXPECT_NE(err_.str().find("\"" + longName + "\" as \"" + longName.substr(0, 30) + "\""), std::string::npos)
      << err_.str();
  err_.str("");
  EXPECT_EQ(runBoth({"--names", "Short," + longName, "-q", "-y"}), kExitOk);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(CliCartridge, ABadSecondInputIsNamedBeforeAnythingRuns) {
  fs::remove(second_);
  EXPECT_EQ(runBoth({}), kExitUsage);
  EXPECT_NE(err_.str().find("INPUT: \"" + second_.string() + "\""), std::string::npos) << err_.str();
  writeFile(second_, "another video");
  output_ = second_;
  err_.str("");
  EXPECT_EQ(runBoth({"-y"}), kExitUsage);
  EXPECT_NE(err_.str().find("input file itself"), std::string::npos) << err_.str();
  EXPECT_EQ(jobsRun_, 0);
}

TEST_F(CliCartridge, AFailingInputFailsTheRunAsASingleInputWould) {
  writeFile(output_, "earlier image");
  cartridgeJob_ = [this](const ConversionJob&) {
    setLastErrorText("\"" + second_.string() + "\": no video stream");
    postDone(kJobInputError);
    return kJobInputError;
  };
  EXPECT_EQ(runBoth({"-y"}), 4);
  EXPECT_NE(err_.str().find("zepra-cli: \"" + second_.string() + "\": no video stream"), std::string::npos)
      << err_.str();
  EXPECT_EQ(readFile(output_), "earlier image");
}

TEST_F(CliCartridge, PlanningOptionsReachTheCartridgeJob) {
  EXPECT_EQ(runBoth({"--fit", "8M"}), kExitOk) << err_.str();
  EXPECT_EQ(ranJob_.fitBytes, 8u << 20);
  EXPECT_EQ(runBoth({"--two-pass", "-y"}), kExitOk) << err_.str();
  EXPECT_TRUE(ranJob_.twoPass);
  EXPECT_EQ(ranInputs_.size(), 2u);
}

// A whole cartridge's estimate: the totals, then each video under its menu
// name with what its stream adds; nothing is converted.
TEST_F(CliCartridge, TheEstimateCoversTheWholeCartridgeAndEachVideo) {
  std::vector<CartridgeInput> estimated;
  env_.estimateCartridge = [&](const ConversionJob& job, std::span<const CartridgeInput> inputs, EstimateDepth) {
    estimated.assign(inputs.begin(), inputs.end());
    CartridgeEstimate e;
    for (int seconds : {90, 30}) {
      SizeEstimate video;
      video.bitrate = job.bitrate;
      video.durationSeconds = seconds;
      video.shape = {static_cast<std::uint32_t>(seconds * 15), {15, 1}, 240, 160, 0};
      video.streamBytesLikely = seconds * 40'000u;
      video.streamBytesMax = seconds * 60'000u;
      video.sampled = true;
      e.videos.push_back(video);
    }
    e.durationSeconds = 120;
    e.frames = 1800;
    e.imageBytesLowest = 1u << 20;
    e.imageBytesLikely = 5u << 20;
    e.imageBytesMax = 7u << 20;
    e.sampled = true;
    e.longestFittingSeconds = 3000;
    return std::optional<CartridgeEstimate>(e);
  };
  const std::vector<std::string> inputs = {input_.string(), second_.string()};
  auto estimate = [&](std::vector<std::string> options) {
    out_.str("");
    std::vector<std::string> args = {"zepra-cli", inputs[0], inputs[1], "--estimate", "-b", "80"};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    return runCli(static_cast<int>(argv.size()), argv.data(), env_);
  };

  ASSERT_EQ(estimate({}), kExitOk) << err_.str();
  ASSERT_EQ(estimated.size(), 2u);
  EXPECT_EQ(estimated[1].inputPath, second_.string());
  for (const char* line : {"Videos:        2, 2:00 in all (1800 frames)", "Bitrate:       80 KB/s",
                           "Largest size:  7.0 MiB", "a 8 MiB cartridge likely, a 8 MiB cartridge surely",
                           "  1. in: 1:30 (1350 frames at 15 fps, 240x160) at 80 KB/s, likely 3.4 MiB, at most 5.1 MiB",
                           "  2. Episode ?t? two: 0:30"}) {
    EXPECT_NE(out_.str().find(line), std::string::npos) << line << "\n" << out_.str();
  }

  ASSERT_EQ(estimate({"--json", "--names", "A \"quoted\" one,B"}), kExitOk) << err_.str();
  const std::string json = out_.str();
  for (const std::string member :
       {"{\"durationSeconds\":120.000,\"frames\":1800,\"bitrate\":80,", "\"imageBytesMax\":7340032,",
        "\"cartridgeMax\":8388608,", "\"videos\":[{\"name\":\"A \\\"quoted\\\" one\",\"input\":",
        ",{\"name\":\"B\",", "\"streamBytesMax\":1800000,"}) {
    EXPECT_NE(json.find(member), std::string::npos) << member << "\n" << json;
  }
  EXPECT_EQ(json.back(), '\n');
  EXPECT_EQ(jobsRun_, 0);
  EXPECT_FALSE(fs::exists(output_));
}

TEST_F(CliCartridge, OneInputRunsTheOneVideoJobAndItsNameIsNotUsed) {
  EXPECT_EQ(run({"--names", "Only"}), kExitOk);
  EXPECT_TRUE(ranInputs_.empty());
  EXPECT_EQ(jobsRun_, 1);
  EXPECT_NE(err_.str().find("no menu; --names is not used"), std::string::npos) << err_.str();
}

}  // namespace
}  // namespace zepra::cli
