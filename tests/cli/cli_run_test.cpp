// The real zepra-cli on small clips made with ffmpeg: a conversion that
// must give a valid cartridge image; conversions stopped by signals, which
// must leave neither an image nor a temporary file and must not touch other
// conversions; outputs that are links, special files or long names; and a
// file-size limit.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "cli/command_line.h"
#include "format/cinepak.h"
#include "format/directory_check.h"
#include "format/stream_layout.h"
#include "job/conversion_job.h"
#include "platform/job_state.h"
#include "player/player_image.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<std::uint8_t> readBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

std::uint32_t word(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// Exit statuses as CliProcess reports them: the program's own, or this for
// a program ended by the signal.
constexpr int endedBySignal(int signo) { return 256 + signo; }

// A running zepra-cli with standard input from /dev/null and standard error
// into a file, and TMPDIR set to a folder of the test's own.
class CliProcess {
 public:
  CliProcess(const std::vector<std::string>& args, const fs::path& tempDir, const fs::path& errFile,
             const fs::path& outFile = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      if (std::strncmp(*e, "TMPDIR=", 7) != 0) env.emplace_back(*e);
    }
    env.push_back("TMPDIR=" + tempDir.string());
    std::vector<char*> envp, argv;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> all = {ZEPRA_CLI};
    all.insert(all.end(), args.begin(), args.end());
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!outFile.empty())
      posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    spawned_ = posix_spawn(&pid_, ZEPRA_CLI, &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~CliProcess() {
    if (spawned_ && !status_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  bool spawned() const { return spawned_; }
  pid_t pid() const { return pid_; }
  bool running() { return !exitStatus(0ms).has_value(); }

  // The exit status once the program ended within the time given.
  std::optional<int> exitStatus(std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!status_) {
      int raw = 0;
      if (waitpid(pid_, &raw, WNOHANG) == pid_) {
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : endedBySignal(WTERMSIG(raw));
      } else if (std::chrono::steady_clock::now() >= deadline) {
        return std::nullopt;
      } else {
        std::this_thread::sleep_for(10ms);
      }
    }
    return status_;
  }

 private:
  pid_t pid_ = 0;
  bool spawned_ = false;
  std::optional<int> status_;
};

class CliRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zepra-cli-run-" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "tmp");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A clip of testsrc2 with a sine tone, in an AVI file.
  fs::path makeClip(const std::string& name, int seconds, const std::string& size) {
    const fs::path clip = dir_ / name;
    const std::string duration = std::to_string(seconds);
    const std::string command = "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=" + size +
                                ":rate=30:duration=" + duration + " -f lavfi -i sine=frequency=440:duration=" +
                                duration + " -c:v mpeg4 -q:v 4 -c:a pcm_s16le -shortest " + clip.string();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return clip;
  }

  std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    return files;
  }
  std::string textOf(const fs::path& file) {
    const std::vector<std::uint8_t> bytes = readBytes(file);
    return std::string(bytes.begin(), bytes.end());
  }
  // Waits until the conversion has made its stream file in tempDir: from
  // then on it is converting.
  bool waitUntilConverting(CliProcess& cli, const fs::path& tempDir) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (filesIn(tempDir).empty() && cli.running() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    return !filesIn(tempDir).empty() && cli.running();
  }

  fs::path dir_;
};

TEST_F(CliRun, ConvertsAClipIntoAValidImageQuietly) {
  const fs::path clip = makeClip("clip.avi", 1, "160x120");
  const fs::path output = dir_ / "clip.gba";
  CliProcess cli({clip.string(), "-o", output.string(), "--quiet", "--title", "E2E CLIP"}, dir_ / "tmp",
                 dir_ / "stderr.txt");
  ASSERT_TRUE(cli.spawned());
  const std::optional<int> status = cli.exitStatus(120s);
  ASSERT_TRUE(status.has_value()) << "zepra-cli did not finish";
  const std::vector<std::uint8_t> err = readBytes(dir_ / "stderr.txt");
  EXPECT_EQ(*status, 0) << std::string(err.begin(), err.end());
  EXPECT_TRUE(err.empty()) << "--quiet printed: " << std::string(err.begin(), err.end());
  EXPECT_TRUE(filesIn(dir_ / "tmp").empty()) << "a temporary file was left behind";

  const std::vector<std::uint8_t> image = readBytes(output);
  const std::span<const std::uint8_t> player = zepra::playerImage();
  ASSERT_FALSE(player.empty());
  ASSERT_GT(image.size(), player.size() + 12);
  EXPECT_EQ(image.size() % 0x8000, 0u);
  EXPECT_LE(image.size(), 0x2000000u);
  EXPECT_EQ(std::string(image.begin() + 0xA0, image.begin() + 0xAC), std::string("E2E CLIP\0\0\0\0", 12));
  EXPECT_TRUE(std::equal(player.begin(), player.begin() + 0xA0, image.begin()));
  EXPECT_TRUE(std::equal(player.begin() + 0xAC, player.end(), image.begin() + 0xAC));

  // The stream behind the player: header, records, sound, then 0xFF.
  std::size_t at = player.size();
  const std::uint32_t frames = word(image, at);
  const std::uint32_t width = image[at + 8] | image[at + 9] << 8;
  const std::uint32_t height = image[at + 10] | image[at + 11] << 8;
  EXPECT_GT(frames, 0u);
  EXPECT_GT(word(image, at + 4), 0u) << "playback step";
  // 160x120 fits the screen's height at 4:3: 212x160.
  EXPECT_EQ(width, 212u);
  EXPECT_EQ(height, 160u);
  at += 12;
  for (std::uint32_t k = 0; k < frames; ++k) {
    ASSERT_LE(at + 4, image.size());
    const std::uint32_t length = word(image, at) & 0xFFFF;
    ASSERT_GE(length, 4u) << "record " << k;
    at += length;
  }
  ASSERT_LE(at + 4, image.size());
  const std::uint32_t blocks = word(image, at);
  // One second of sound, one block per display refresh (59.727 a second).
  EXPECT_GE(blocks, 59u);
  EXPECT_LE(blocks, 62u);
  at += 4 + static_cast<std::size_t>(blocks) * 176;
  ASSERT_LE(at, image.size());
  EXPECT_TRUE(std::all_of(image.begin() + at, image.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

// Three conversions of the same user at once: Ctrl-C to one stops it
// cleanly, a signal the program does not take as a cancel still leaves no
// temporary file, and the third conversion finishes with its image.
TEST_F(CliRun, ASignalStopsOnlyItsOwnConversionAndLeavesNothingBehind) {
  const fs::path clip = makeClip("clip.avi", 3, "320x240");
  struct Run {
    const char* name;
    int signo;  // 0: left alone
    int status;
  } runs[] = {
      {"interrupted", SIGINT, 130},
      {"killed", SIGUSR1, endedBySignal(SIGUSR1)},
      {"left alone", 0, 0},
  };
  std::vector<std::unique_ptr<CliProcess>> clis;
  for (const Run& run : runs) {
    fs::create_directories(dir_ / run.name / "tmp");
    clis.push_back(std::make_unique<CliProcess>(
        std::vector<std::string>{clip.string(), "-o", (dir_ / run.name / "out.gba").string()},
        dir_ / run.name / "tmp", dir_ / run.name / "stderr.txt"));
    ASSERT_TRUE(clis.back()->spawned());
  }
  for (std::size_t i = 0; i < clis.size(); ++i) {
    if (runs[i].signo == 0) continue;
    ASSERT_TRUE(waitUntilConverting(*clis[i], dir_ / runs[i].name / "tmp")) << runs[i].name;
    ASSERT_TRUE(clis.back()->running()) << "the conversion left alone ended too early to tell";
    ASSERT_EQ(kill(clis[i]->pid(), runs[i].signo), 0);
  }
  for (std::size_t i = 0; i < clis.size(); ++i) {
    SCOPED_TRACE(runs[i].name);
    const fs::path folder = dir_ / runs[i].name;
    const std::optional<int> status = clis[i]->exitStatus(120s);
    ASSERT_TRUE(status.has_value()) << "zepra-cli did not end";
    const std::string err = textOf(folder / "stderr.txt");
    EXPECT_EQ(*status, runs[i].status) << err;
    EXPECT_TRUE(filesIn(folder / "tmp").empty()) << "a temporary file was left behind";
    EXPECT_EQ(fs::exists(folder / "out.gba"), runs[i].status == 0) << err;
    EXPECT_EQ(filesIn(folder).size(), runs[i].status == 0 ? 3u : 2u) << "no hidden partial image";
    if (runs[i].signo == SIGINT) {
      EXPECT_NE(err.find("Process Canceled"), std::string::npos) << err;
    }
  }
}

// A file-size limit (ulimit -f) fails the write that meets it: the stream
// file in the temporary folder (result 7), or the image beside the output
// (result 1000, exit 10). The older output survives and nothing is left.
TEST_F(CliRun, AFileSizeLimitIsAWriteFailureThatLeavesNothingBehind) {
  const fs::path clip = makeClip("clip.avi", 1, "160x120");
  const fs::path output = dir_ / "out.gba";
  {
    CliProcess cli({clip.string(), "-o", output.string(), "-q"}, dir_ / "tmp", dir_ / "stderr.txt");
    ASSERT_EQ(cli.exitStatus(120s), 0) << textOf(dir_ / "stderr.txt");
  }
  const std::size_t imageSize = fs::file_size(output);
  const std::size_t playerSize = zepra::playerImage().size();
  ASSERT_GT(imageSize, playerSize + 4096);
  // The stream alone fits under the larger limit; the image does not.
  const std::size_t streamAtMost = imageSize - playerSize;
  struct Case {
    rlim_t limit;
    int status;
    std::string text;
  } cases[] = {
      {4096, 7, "the temporary stream file could not be created, written or completed"},
      {static_cast<rlim_t>(streamAtMost + 1024), 10, "访问文件夹错误"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    std::ofstream(output, std::ios::binary | std::ios::trunc) << "older image";
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limited{c.limit, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    CliProcess cli({clip.string(), "-o", output.string(), "-y"}, dir_ / "tmp", dir_ / "stderr.txt");
    setrlimit(RLIMIT_FSIZE, &saved);
    const std::optional<int> status = cli.exitStatus(120s);
    const std::string err = textOf(dir_ / "stderr.txt");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, c.status) << err;
    EXPECT_NE(err.find(c.text), std::string::npos) << err;
    EXPECT_EQ(textOf(output), "older image");
    EXPECT_TRUE(filesIn(dir_ / "tmp").empty()) << "a temporary file was left behind";
    EXPECT_EQ(filesIn(dir_).size(), 4u) << "clip, output, error file and temporary folder only";
  }
}

// Outputs that are not plain files: a link gets its target written (the link
// stays), special files are refused before anything is converted, and a name
// the folder cannot hold is refused at once while the longest it can is written.
TEST_F(CliRun, OutputsThatAreLinksSpecialFilesOrLongNames) {
  const fs::path clip = makeClip("clip.avi", 1, "160x120");
  fs::create_directories(dir_ / "roms");
  std::ofstream(dir_ / "roms" / "movie.gba") << "older image";
  fs::create_symlink("roms/movie.gba", dir_ / "link.gba");
  fs::create_symlink(dir_ / "roms" / "new.gba", dir_ / "dangling.gba");
  ASSERT_EQ(mkfifo((dir_ / "fifo.gba").c_str(), 0600), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (dir_ / "socket.gba").string();
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const long nameMax = pathconf(dir_.c_str(), _PC_NAME_MAX);
  ASSERT_GT(nameMax, 20);
  const std::string longest = std::string(static_cast<std::size_t>(nameMax) - 4, 'n') + ".gba";
  const std::string tooLong = std::string(static_cast<std::size_t>(nameMax) - 3, 'n') + ".gba";

  struct Case {
    fs::path output;
    int status;
    std::string text;  // in the error output
    fs::path written;  // the file that gets the image
  } cases[] = {
      {dir_ / "link.gba", 0, "wrote", dir_ / "roms" / "movie.gba"},
      {dir_ / "dangling.gba", 0, "wrote", dir_ / "roms" / "new.gba"},
      {dir_ / "fifo.gba", 1, "not a regular file", {}},
      {dir_ / "socket.gba", 1, "not a regular file", {}},
      {"/dev/null", 1, "not a regular file", {}},
      {dir_ / longest, 0, "wrote", dir_ / longest},
      {dir_ / tooLong, 1, "name is too long", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output.string());
    CliProcess cli({clip.string(), "-o", c.output.string(), "-y"}, dir_ / "tmp", dir_ / "stderr.txt");
    const std::optional<int> status = cli.exitStatus(120s);
    const std::string err = textOf(dir_ / "stderr.txt");
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, c.status) << err;
    EXPECT_NE(err.find(c.text), std::string::npos) << err;
    // Status 1 is a refusal before the conversion starts.
    if (!c.written.empty()) {
      EXPECT_EQ(fs::file_size(c.written) % 0x8000, 0u);
      EXPECT_GT(fs::file_size(c.written), zepra::playerImage().size());
    }
  }
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.gba"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.gba"));
  EXPECT_TRUE(fs::is_fifo(dir_ / "fifo.gba"));
  EXPECT_TRUE(fs::is_socket(dir_ / "socket.gba"));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_EQ(filesIn(dir_ / "roms").size(), 2u) << "no temporary image beside the targets";
  EXPECT_TRUE(filesIn(dir_ / "tmp").empty());
  close(sock);
}

// The stream of a one-video conversion with the settings zepra-cli makes of
// `args` (the same code reads them), but with the key frames of a cartridge
// of several videos.
std::vector<std::uint8_t> streamWithKeyFrames(std::vector<std::string> args) {
  args.insert(args.begin(), "zepra-cli");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  const zepra::cli::ParsedCommandLine parsed = zepra::cli::parseCommandLine(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(parsed.action, zepra::cli::ParsedCommandLine::Action::kRun) << parsed.text;
  zepra::ConversionJob job = parsed.request.job;
  job.keyFrameSeconds = zepra::kCartridgeKeyFrameSeconds;
  zepra::CancelSource cancel;
  std::vector<std::uint8_t> stream;
  const int result = zepra::convertToStream(job, cancel, zepra::createDecodingGraph, zepra::sizeControl(job), stream);
  EXPECT_EQ(result, zepra::kJobOk) << zepra::lastErrorText();
  return stream;
}

// Three inputs (one of them twice) make one cartridge whose directory the
// player's own checks accept, with the menu names made from --names, and
// whose streams are byte for byte what a one-video conversion of each input
// with the cartridge's key frames gives.
TEST_F(CliRun, SeveralInputsMakeACartridgeOfTheirOwnStreams) {
  const fs::path first = makeClip("first.avi", 5, "96x64");
  const fs::path second = makeClip("second.avi", 1, "96x64");
  const std::size_t playerBytes = zepra::playerImage().size();
  setenv("TMPDIR", (dir_ / "tmp").c_str(), 1);
  std::vector<std::vector<std::uint8_t>> singles;
  for (const fs::path& clip : {first, second})
    singles.push_back(streamWithKeyFrames({clip.string(), "-o", (dir_ / "unused.gba").string(), "--bitrate", "40"}));
  unsetenv("TMPDIR");
  ASSERT_FALSE(singles[0].empty());
  ASSERT_FALSE(singles[1].empty());

  const std::string longName(35, 'x');
  const fs::path cart = dir_ / "cart.gba";
  CliProcess cli({first.string(), second.string(), first.string(), "-o", cart.string(), "--bitrate", "40",
                  "--names", "First,Sec\xC3\xB6nd," + longName, "--title", "SEASON"},
                 dir_ / "tmp", dir_ / "stderr.txt");
  ASSERT_EQ(cli.exitStatus(120s), 0) << textOf(dir_ / "stderr.txt");
  const std::string err = textOf(dir_ / "stderr.txt");
  EXPECT_NE(err.find("video 3 of 3"), std::string::npos) << err;
  EXPECT_NE(err.find("as \"Sec?nd\""), std::string::npos) << err;
  EXPECT_TRUE(filesIn(dir_ / "tmp").empty()) << "a temporary file was left behind";

  const std::vector<std::uint8_t> image = readBytes(cart);
  ASSERT_GT(image.size(), playerBytes + ZEPRA_DIRECTORY_HEADER_BYTES);
  EXPECT_EQ(image.size() % 0x8000, 0u);
  EXPECT_EQ(std::string(image.begin() + 0xA0, image.begin() + 0xA6), "SEASON");
  const std::uint32_t at = static_cast<std::uint32_t>(playerBytes);
  ASSERT_EQ(zepraDirectoryCount(image.data(), at), 3u);
  const std::string names[] = {"First", "Sec?nd", longName.substr(0, ZEPRA_DIRECTORY_NAME_CHARS)};
  const std::vector<std::uint8_t>* streams[] = {&singles[0], &singles[1], &singles[0]};
  const std::uint32_t seconds[] = {5, 1, 5};
  for (std::uint32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(zepraDirectoryEntryValid(image.data(), at, i));
    const std::uint8_t* entry = zepraDirectoryEntry(image.data(), at, i);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry)), names[i]);
    const std::uint32_t offset = zepraLe32(entry + ZEPRA_ENTRY_OFFSET_AT);
    const std::uint32_t length = zepraLe32(entry + ZEPRA_ENTRY_LENGTH_AT);
    EXPECT_EQ(zepraLe32(entry + ZEPRA_ENTRY_SECONDS_AT), seconds[i]);
    ASSERT_EQ(length, streams[i]->size());
    EXPECT_TRUE(std::equal(streams[i]->begin(), streams[i]->end(), image.begin() + offset));
  }
  EXPECT_NE(singles[0], singles[1]);

  // The five-second clip's stream starts over with an intra-coded record
  // after its first.
  const std::uint32_t frames = word(singles[0], 0);
  std::size_t record = ZEPRA_STREAM_HEADER_BYTES;
  int intra = 0;
  for (std::uint32_t k = 0; k < frames; ++k) {
    intra += (word(singles[0], record) >> 16) == ZEPRA_CINEPAK_INTRA_STRIP;
    record += word(singles[0], record) & 0xFFFF;
  }
  EXPECT_GE(intra, 2);
}

// The estimate of a whole cartridge as JSON, read by Python's own parser:
// the totals and one object per video, and nothing written.
TEST_F(CliRun, TheEstimateOfACartridgeIsJsonWithEveryVideo) {
  const fs::path first = makeClip("first.avi", 2, "160x120");
  const fs::path second = makeClip("second.avi", 1, "96x64");
  const fs::path json = dir_ / "estimate.json";
  CliProcess cli({first.string(), second.string(), "--estimate", "--json", "--names", "One,Two"}, dir_ / "tmp",
                 dir_ / "stderr.txt", json);
  ASSERT_EQ(cli.exitStatus(120s), 0) << textOf(dir_ / "stderr.txt");
  const std::string check =
      "python3 -c 'import json, sys\n"
      "d = json.load(open(sys.argv[1]))\n"
      "v = d[\"videos\"]\n"
      "assert [x[\"name\"] for x in v] == [\"One\", \"Two\"], v\n"
      "assert abs(d[\"durationSeconds\"] - 3) < 0.2, d\n"
      "assert d[\"frames\"] == sum(x[\"frames\"] for x in v), d\n"
      "assert d[\"imageBytesLowest\"] <= d[\"imageBytesLikely\"] <= d[\"imageBytesMax\"], d\n"
      "assert d[\"imageBytesMax\"] >= d[\"playerBytes\"] + d[\"directoryBytes\"] + "
      "sum(x[\"streamBytesMax\"] for x in v), d\n"
      "assert d[\"imageBytesMax\"] % 32768 == 0 and d[\"cartridgeMax\"] == 4194304, d\n"
      "' " + json.string();
  EXPECT_EQ(std::system(check.c_str()), 0) << textOf(json);
  EXPECT_TRUE(filesIn(dir_ / "tmp").empty()) << "a temporary file was left behind";
  EXPECT_EQ(filesIn(dir_).size(), 5u) << "only the clips, the folder, the estimate and the errors";
}

// A failing input fails the whole cartridge, named, and nothing is written.
TEST_F(CliRun, AFailingInputOfACartridgeIsNamedAndNothingIsWritten) {
  const fs::path clip = makeClip("clip.avi", 1, "160x120");
  const fs::path broken = dir_ / "broken.avi";
  std::ofstream(broken) << "not a video at all";
  const fs::path cart = dir_ / "cart.gba";
  std::ofstream(cart) << "older image";
  CliProcess cli({clip.string(), broken.string(), "-o", cart.string(), "-y"}, dir_ / "tmp", dir_ / "stderr.txt");
  const std::optional<int> status = cli.exitStatus(120s);
  const std::string err = textOf(dir_ / "stderr.txt");
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 4) << err;
  EXPECT_NE(err.find("\"" + broken.string() + "\""), std::string::npos) << err;
  EXPECT_EQ(textOf(cart), "older image");
  EXPECT_TRUE(filesIn(dir_ / "tmp").empty()) << "a temporary file was left behind";
}

}  // namespace
