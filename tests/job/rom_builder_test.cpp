#include "job/rom_builder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/job_state.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A player image of the real size with a cartridge header of its own.
Bytes testImage(std::size_t size = 44408) {
  Bytes image(size, 0x5A);
  image[0] = 0x2E;  // b 0xC0
  image[1] = 0x00;
  image[2] = 0x00;
  image[3] = 0xEA;
  std::fill(image.begin() + 4, image.begin() + 0xA0, 0);
  const std::string title = "Vornaquistel";
  std::copy(title.begin(), title.end(), image.begin() + 0xA0);
  image[0xB2] = 0x96;
  return image;
}

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

class RomBuilder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("zepra-rom-" + std::to_string(getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    output = dir / "out.gba";
  }
  void TearDown() override { fs::remove_all(dir); }

  bool build(const Bytes& stream, const std::string& title, const Bytes& image = testImage()) {
    return zepra::buildRomImage(output.string(), stream, title, image);
  }
  std::size_t filesInDir() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
  }

  fs::path dir;
  fs::path output;
};

}  // namespace

TEST_F(RomBuilder, LayoutAndPaddingFollowTheStreamLength) {
  struct Case {
    std::size_t streamLength;
    std::size_t fileSize;
  } cases[] = {
      {0, 65536},                // the image alone, padded to 64 KiB
      {1000, 65536},             // 44408 + 1000 + 20128 bytes of 0xFF
      {65536 - 44408, 65536},    // already a multiple of 32 KiB: no padding
      {65536 - 44408 + 1, 98304},
  };
  for (const Case& c : cases) {
    Bytes stream(c.streamLength);
    for (std::size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(build(stream, "")) << c.streamLength;
    Bytes file = readFile(output);
    ASSERT_EQ(file.size(), c.fileSize) << c.streamLength;
    Bytes image = testImage();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), file.begin()));
    EXPECT_TRUE(std::equal(stream.begin(), stream.end(), file.begin() + 44408));
    EXPECT_TRUE(std::all_of(file.begin() + 44408 + stream.size(), file.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(zepra::lastErrorText(), "");
    EXPECT_EQ(filesInDir(), 1u);
  }
}

TEST_F(RomBuilder, TitleIsCutByBytesAndZeroFilled) {
  struct Case {
    std::string title;
    std::string field;  // the 12 bytes expected at 0xA0
  } cases[] = {
      {"", "Vornaquistel"},
      {"DEMO5", std::string("DEMO5") + std::string(7, '\0')},
      {"ABCDEFGHIJKLM", "ABCDEFGHIJKL"},
      {"ABCDEFGHIJ\xC3\xA9Z", "ABCDEFGHIJ\xC3\xA9"},
      {"ABCDEFGHIJK\xC3\xA9", "ABCDEFGHIJK\xC3"},  // a multibyte character split at byte 12
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(build(Bytes(10, 1), c.title));
    Bytes file = readFile(output);
    EXPECT_EQ(std::string(file.begin() + 0xA0, file.begin() + 0xAC), c.field) << c.title;
    EXPECT_EQ(file[0xAC], 0x5A);  // nothing after the field changes
    EXPECT_EQ(file[0x9F], 0x00);
  }
}

TEST_F(RomBuilder, ExactlyThirtyTwoMebibytesIsAcceptedOneByteMoreIsRefusedUntouched) {
  const Bytes image = testImage();
  Bytes stream(zepra::kMaxRomSize - image.size(), 0x11);
  ASSERT_TRUE(build(stream, "BIG"));
  EXPECT_EQ(fs::file_size(output), zepra::kMaxRomSize);

  std::ofstream(output, std::ios::binary | std::ios::trunc) << "older image";
  stream.push_back(0x22);
  EXPECT_FALSE(build(stream, "BIG"));
  EXPECT_EQ(zepra::lastErrorText(), "ROM is bigger than 32MB(256Mbit)");
  Bytes old = readFile(output);
  EXPECT_EQ(std::string(old.begin(), old.end()), "older image");
  EXPECT_EQ(filesInDir(), 1u);
}

TEST_F(RomBuilder, MissingPlayerImageIsAResourceError) {
  EXPECT_FALSE(build(Bytes(10), "X", Bytes{}));
  EXPECT_EQ(zepra::lastErrorText(), "内部资源错误");
  EXPECT_FALSE(fs::exists(output));
}

TEST_F(RomBuilder, OutputThatCannotBeCreatedIsReported) {
  output = dir / "missing-folder" / "out.gba";
  EXPECT_FALSE(build(Bytes(10), "X"));
  EXPECT_EQ(zepra::lastErrorText(), "输出文件夹打开失败");
  fs::create_directories(dir / "a-folder.gba");
  output = dir / "a-folder.gba";  // a folder stands where the image should go
  EXPECT_FALSE(build(Bytes(10), "X"));
  EXPECT_EQ(zepra::lastErrorText(), "输出文件夹打开失败");
  EXPECT_EQ(filesInDir(), 1u);
}

// A file size limit makes the writes fail at a chosen step; the earlier
// image at the output path must survive and no partial file may remain.
TEST_F(RomBuilder, FailedWriteKeepsTheOldImageAndLeavesNoPartialFile) {
  struct Case {
    rlim_t limit;
    std::size_t streamLength;
    const char* text;
  } cases[] = {
      {1000, 10, "访问文件夹错误 ( 1)"},
      {50000, 10000, "访问文件夹错误 ( 2)"},
      {46000, 1000, "访问文件夹错误 ( 3)"},
  };
  signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  for (const Case& c : cases) {
    std::ofstream(output, std::ios::binary | std::ios::trunc) << "older image";
    rlimit limit{c.limit, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool built = build(Bytes(c.streamLength, 3), "T");
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(built);
    EXPECT_EQ(zepra::lastErrorText(), c.text);
    Bytes old = readFile(output);
    EXPECT_EQ(std::string(old.begin(), old.end()), "older image");
    EXPECT_EQ(filesInDir(), 1u);
  }
  signal(SIGXFSZ, SIG_DFL);
}

// Closing the file can report a write error that the writes themselves did
// not (a disk filled behind a cache, a network folder): this test binary
// wraps close() so that the close of a finished temporary image fails.
namespace {
std::atomic<bool> failImageClose{false};
}  // namespace

extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd) {
  struct stat st {};
  char link[64];
  char target[4096] = {};
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const bool image = failImageClose && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
                     readlink(link, target, sizeof target - 1) > 0 && std::strstr(target, "/.ZEPRA");
  const int result = __real_close(fd);
  if (!image) return result;
  errno = EIO;
  return -1;
}

TEST_F(RomBuilder, AFailedCloseIsReportedAsTheLastStepThatWrote) {
  struct Case {
    std::size_t streamLength;
    std::string title;
    const char* text;
  } cases[] = {
      {10, "TITLE", "访问文件夹错误 ( 4)"},
      {10, "", "访问文件夹错误 ( 3)"},
      {65536 - 44408, "", "访问文件夹错误 ( 2)"},  // no padding to write
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::ofstream(output, std::ios::binary | std::ios::trunc) << "older image";
    failImageClose = true;
    const bool built = build(Bytes(c.streamLength, 3), c.title);
    failImageClose = false;
    EXPECT_FALSE(built);
    EXPECT_EQ(zepra::lastErrorText(), c.text);
    Bytes old = readFile(output);
    EXPECT_EQ(std::string(old.begin(), old.end()), "older image");
    EXPECT_EQ(filesInDir(), 1u);
  }
}

// Just before the finished image replaces the output it can still be
// abandoned (a late cancel): the output stays and nothing is left.
TEST_F(RomBuilder, AnAbandonedImageLeavesTheOutputAsItWas) {
  std::ofstream(output, std::ios::binary | std::ios::trunc) << "older image";
  int asked = 0;
  EXPECT_FALSE(zepra::buildRomImage(output.string(), Bytes(10, 1), "T", testImage(), [&] {
    ++asked;
    return false;
  }));
  EXPECT_EQ(asked, 1);
  Bytes old = readFile(output);
  EXPECT_EQ(std::string(old.begin(), old.end()), "older image");
  EXPECT_EQ(filesInDir(), 1u);
  EXPECT_TRUE(zepra::buildRomImage(output.string(), Bytes(10, 1), "T", testImage(), [] { return true; }));
  EXPECT_EQ(fs::file_size(output), 65536u);
}

// A link named as the output gets its target written, in the target's
// folder; the link stays. Special files are never replaced.
TEST_F(RomBuilder, ALinkGetsItsTargetWrittenAndSpecialFilesAreRefused) {
  fs::create_directories(dir / "elsewhere");
  std::ofstream(dir / "elsewhere" / "movie.gba") << "older image";
  fs::create_symlink("elsewhere/movie.gba", dir / "hop.gba");
  fs::create_symlink("hop.gba", output);  // a chain of two links
  ASSERT_TRUE(build(Bytes(10, 1), "T"));
  EXPECT_TRUE(fs::is_symlink(output));
  EXPECT_TRUE(fs::is_symlink(dir / "hop.gba"));
  EXPECT_EQ(fs::file_size(dir / "elsewhere" / "movie.gba"), 65536u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "elsewhere"), fs::directory_iterator()), 1);

  fs::remove(output);
  fs::create_symlink("loop.gba", dir / "loop.gba");
  output = dir / "loop.gba";
  EXPECT_FALSE(build(Bytes(10, 1), "T"));
  EXPECT_NE(zepra::lastErrorText().find("cannot be followed"), std::string::npos) << zepra::lastErrorText();

  output = dir / "fifo.gba";
  ASSERT_EQ(mkfifo(output.c_str(), 0600), 0);
  EXPECT_FALSE(build(Bytes(10, 1), "T"));
  EXPECT_NE(zepra::lastErrorText().find("not a regular file"), std::string::npos) << zepra::lastErrorText();
  EXPECT_TRUE(fs::is_fifo(output));
}
