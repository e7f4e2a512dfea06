#include "job/rom_builder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

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
