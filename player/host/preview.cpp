#include "player/host/preview.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <fstream>
#include <iterator>
#include <system_error>

#include "player/host/console_emulator.h"
#include "player/host/picture_files.h"

namespace zepra {

namespace {

constexpr int kSheetColumns = 4;
constexpr int kSheetGap = 4;
constexpr std::uintmax_t kMaxImageBytes = 32u << 20;  // the largest cartridge

bool readImage(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) {
    error = "cannot read " + path.string() + ": " + ec.message();
    return false;
  }
  if (size > kMaxImageBytes) {
    error = path.string() + " is larger than a cartridge (32 MiB)";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  if (!in && !in.eof()) {
    error = "cannot read " + path.string();
    return false;
  }
  return true;
}

std::string screenshotName(int refresh) {
  char name[32];
  std::snprintf(name, sizeof name, "screen-%05d.png", refresh);
  return name;
}

}  // namespace

std::vector<int> evenlySpacedRefreshes(int count, int every) {
  std::vector<int> refreshes;
  for (int i = 1; i <= count; ++i) refreshes.push_back(i * every);
  return refreshes;
}

bool runPreview(const PreviewOptions& options, std::string& error) {
  const bool ascending =
      std::adjacent_find(options.refreshes.begin(), options.refreshes.end(), std::greater_equal<>()) ==
      options.refreshes.end();
  if (options.refreshes.empty() || !ascending || options.refreshes.front() < 1) {
    error = "screenshot refreshes must be strictly ascending and at least 1";
    return false;
  }
  std::vector<std::uint8_t> image;
  if (!readImage(options.image, image, error)) return false;
  auto console = ConsoleEmulator::load(image, error);
  if (console == nullptr) {
    error = options.image.string() + ": " + error;
    return false;
  }
  std::error_code ec;
  std::filesystem::create_directories(options.outputFolder, ec);
  if (ec) {
    error = "cannot create " + options.outputFolder.string() + ": " + ec.message();
    return false;
  }

  std::vector<RgbPicture> shots;
  std::vector<std::int16_t> sound;
  for (int refresh : options.refreshes) {
    while (console->refreshes() < refresh) {
      console->runRefresh();
      const auto played = console->takeSound();
      sound.insert(sound.end(), played.begin(), played.end());
    }
    const auto screen = console->screen();
    shots.push_back(consolePicture(screen, kScreenWidth, kScreenHeight));
    if (!writePng(options.outputFolder / screenshotName(refresh), shots.back(), error)) return false;
  }
  if (options.sheet && !writePng(options.outputFolder / "sheet.png", contactSheet(shots, kSheetColumns, kSheetGap), error))
    return false;
  if (options.sound && !writeWav(options.outputFolder / "sound.wav", sound, kEmulatorSoundRate, error))
    return false;
  return true;
}

}  // namespace zepra
