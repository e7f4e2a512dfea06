// zepra-preview's core: screenshots equal the emulator's screen at the named
// refresh, the sound file holds the sound of the run, and a refused image
// leaves nothing behind.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdlib>
#include <fstream>

#include "player/host/console_emulator.h"
#include "player/host/preview.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

namespace fs = std::filesystem;

class PreviewTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zepra-preview-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path writeImage(const Bytes& bytes) {
    const fs::path path = folder_ / "movie.gba";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }

  fs::path folder_;
};

TestStream colourfulStream() {
  TestStream stream;
  stream.playbackStep = 0x8000;
  for (int k = 0; k < 8; ++k) {
    Bytes chunks;
    for (int i = 0; i < 4; ++i) {
      const Bytes e = colourEntry(static_cast<std::uint8_t>(30 * k + 40 * i), 90, 160, 220,
                                  static_cast<std::int8_t>(20 * i - 40), static_cast<std::int8_t>(10 * k - 30));
      chunks.insert(chunks.end(), e.begin(), e.end());
    }
    chunks = chunk(0x22, chunks);
    Bytes indices;
    for (int b = 0; b < 60 * 40; ++b) indices.push_back(static_cast<std::uint8_t>((b / 60 + b % 60) % 4));
    const Bytes blocks = chunk(0x32, indices);
    chunks.insert(chunks.end(), blocks.begin(), blocks.end());
    stream.frames.push_back({0x1000, chunks});
  }
  stream.audioBlocks.assign(176 * 20, 0x3A);
  return stream;
}

std::vector<std::uint8_t> readPngRgb(const fs::path& path, int& width, int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  return rgb;
}

TEST_F(PreviewTest, ScreenshotsShowTheScreenAtTheirRefreshAndTheSoundIsKept) {
  const Bytes image = cartridge(colourfulStream().bytes());
  PreviewOptions options{writeImage(image), folder_ / "out", {5, 9}, true, true};
  std::string error;
  ASSERT_TRUE(runPreview(options, error)) << error;

  std::string loadError;
  auto console = ConsoleEmulator::load(image, loadError);
  ASSERT_NE(console, nullptr);
  for (int refresh : {5, 9}) {
    console->runRefreshes(refresh - console->refreshes());
    const auto screen = console->screen();
    int width = 0, height = 0;
    char name[32];
    std::snprintf(name, sizeof name, "screen-%05d.png", refresh);
    const auto rgb = readPngRgb(folder_ / "out" / name, width, height);
    ASSERT_EQ(width, kScreenWidth) << name;
    ASSERT_EQ(height, kScreenHeight);
    for (std::size_t i = 0; i < screen.size(); ++i) {
      const int red = screen[i] & 0x1F;
      ASSERT_EQ(rgb[i * 3], (red << 3) | (red >> 2)) << name << " pixel " << i;
      const int blue = (screen[i] >> 10) & 0x1F;
      ASSERT_EQ(rgb[i * 3 + 2], (blue << 3) | (blue >> 2)) << name << " pixel " << i;
    }
  }
  int sheetWidth = 0, sheetHeight = 0;
  EXPECT_FALSE(readPngRgb(folder_ / "out" / "sheet.png", sheetWidth, sheetHeight).empty());
  EXPECT_EQ(sheetWidth, 2 * kScreenWidth + 3 * 4);
  EXPECT_EQ(sheetHeight, kScreenHeight + 2 * 4);

  // 16-bit mono WAV at the emulator's rate, about 548 samples per refresh.
  std::ifstream wav(folder_ / "out" / "sound.wav", std::ios::binary);
  std::string head(44, '\0');
  wav.read(head.data(), 44);
  EXPECT_EQ(head.substr(0, 4), "RIFF");
  EXPECT_EQ(head.substr(8, 4), "WAVE");
  const auto size = fs::file_size(folder_ / "out" / "sound.wav");
  EXPECT_NEAR(static_cast<double>(size - 44) / 2, 9 * 548.6, 600);
  for (const auto& entry : fs::directory_iterator(folder_ / "out"))
    EXPECT_NE(entry.path().extension(), ".part") << "stray file " << entry.path();
}

TEST_F(PreviewTest, ARefusedImageWritesNothing) {
  struct Case {
    const char* name;
    Bytes bytes;
  };
  const std::vector<Case> cases = {{"empty", {}}, {"not a program", Bytes(4096, 0x11)}};
  for (const Case& c : cases) {
    PreviewOptions options{writeImage(c.bytes), folder_ / "out", {5}, true, true};
    std::string error;
    EXPECT_FALSE(runPreview(options, error)) << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
    EXPECT_FALSE(fs::exists(folder_ / "out")) << c.name;
  }
  PreviewOptions missing{folder_ / "absent.gba", folder_ / "out", {5}, true, true};
  std::string error;
  EXPECT_FALSE(runPreview(missing, error));
  EXPECT_NE(error.find("absent.gba"), std::string::npos) << error;
}

TEST_F(PreviewTest, RefreshesMustAscend) {
  const Bytes image = cartridge(colourfulStream().bytes());
  for (const std::vector<int>& refreshes : {std::vector<int>{}, {5, 5}, {9, 5}, {0}}) {
    PreviewOptions options{writeImage(image), folder_ / "out", refreshes, true, true};
    std::string error;
    EXPECT_FALSE(runPreview(options, error));
    EXPECT_FALSE(fs::exists(folder_ / "out"));
  }
}

}  // namespace
}  // namespace zepra::test
