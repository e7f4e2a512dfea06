#pragma once
// The uncompressed and compressed frame formats exchanged with the Cinepak
// compressor, laid out like the classic BITMAPINFOHEADER (40 bytes).

#include <cstdint>

namespace zepra {

inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kFourccCvid = 'c' | ('v' << 8) | ('i' << 16) | ('d' << 24);

struct BitmapInfoHeader {
  std::uint32_t biSize = 40;
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;  // positive: rows stored bottom-up
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 24;
  std::uint32_t biCompression = kBiRgb;
  std::uint32_t biSizeImage = 0;  // compressed formats: length of the last frame
  std::int32_t biXPelsPerMeter = 0;
  std::int32_t biYPelsPerMeter = 0;
  std::uint32_t biClrUsed = 0;
  std::uint32_t biClrImportant = 0;
};

}  // namespace zepra
