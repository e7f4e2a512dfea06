// The real zepra-cli on small clips made with ffmpeg: a conversion that
// must give a valid cartridge image, and a conversion stopped with SIGINT
// that must leave neither an image nor a temporary file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

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

// A running zepra-cli with standard input from /dev/null and standard error
// into a file, and TMPDIR set to a folder of the test's own.
class CliProcess {
 public:
  CliProcess(const std::vector<std::string>& args, const fs::path& tempDir, const fs::path& errFile) {
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
        status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
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

TEST_F(CliRun, SigintCancelsLeavingNoImageAndNoTemporaryFile) {
  const fs::path clip = makeClip("long.avi", 30, "320x240");
  const fs::path output = dir_ / "long.gba";
  CliProcess cli({clip.string(), "-o", output.string()}, dir_ / "tmp", dir_ / "stderr.txt");
  ASSERT_TRUE(cli.spawned());
  // Wait until the job has made its stream file, then press Ctrl-C.
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (filesIn(dir_ / "tmp").empty() && cli.running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(cli.running()) << "the conversion ended before it could be cancelled";
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(kill(cli.pid(), SIGINT), 0);
  const std::optional<int> status = cli.exitStatus(30s);
  ASSERT_TRUE(status.has_value()) << "zepra-cli did not stop after SIGINT";
  const std::vector<std::uint8_t> err = readBytes(dir_ / "stderr.txt");
  const std::string errText(err.begin(), err.end());
  EXPECT_EQ(*status, 130) << errText;
  EXPECT_NE(errText.find("Process Canceled"), std::string::npos) << errText;
  EXPECT_FALSE(fs::exists(output));
  EXPECT_TRUE(filesIn(dir_ / "tmp").empty()) << "a temporary file was left behind";
  EXPECT_EQ(filesIn(dir_).size(), 3u) << "only the clip, the error file and the temporary folder remain";
}

}  // namespace
