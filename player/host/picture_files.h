#pragma once
// Writes what the preview shows and plays: PNG pictures (libpng) and a
// 16-bit mono WAV file (FFmpeg's WAV muxer). Each file is written beside its
// destination and renamed into place, so a failure leaves nothing behind.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace zepra {

// An 8-bit RGB picture, rows top to bottom.
struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3
};

// Expands 15-bit console colours (red bits 0-4) as a display shows them.
RgbPicture consolePicture(std::span<const std::uint16_t> pixels, int width, int height);

// Pictures side by side in rows of `columns`, with a `gap` of dark grey.
RgbPicture contactSheet(std::span<const RgbPicture> pictures, int columns, int gap);

// False with `error` set when the file could not be written.
bool writePng(const std::filesystem::path& path, const RgbPicture& picture, std::string& error);
bool writeWav(const std::filesystem::path& path, std::span<const std::int16_t> samples, int sampleRate,
              std::string& error);

}  // namespace zepra
