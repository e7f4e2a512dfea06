#include "cinepak/block_decisions.h"

namespace zepra {

namespace {

float squaredError(const std::uint8_t* source, const std::int16_t* shown) {
  const int dr = source[0] - shown[0], dg = source[1] - shown[1], db = source[2] - shown[2];
  return static_cast<float>(dr * dr + dg * dg + db * db);
}

}  // namespace

float blockError(const SourceFrame& source, int b, const ConsolePixel* shown) {
  const std::uint8_t* src = source.blockRgb(b);
  float error = 0.0f;
  for (int i = 0; i < 16; ++i) {
    std::int16_t rgb[3];
    displayRgb(shown[i], rgb);
    error += squaredError(src + i * 3, rgb);
  }
  return error;
}

float skipError(const SourceFrame& source, int b, std::span<const ConsolePixel> picture) {
  const int across = source.blocksAcross();
  const int x = (b % across) * 4, y = (b / across) * 4;
  ConsolePixel shown[16];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) shown[r * 4 + c] = picture[static_cast<std::size_t>(y + r) * source.width() + x + c];
  return blockError(source, b, shown);
}

float v1Error(const SourceFrame& source, int b, const Codebook& v1, int entry) {
  const std::uint8_t* src = source.blockRgb(b);
  const EntryRgb& rgb = v1.rgb(entry);
  float error = 0.0f;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) error += squaredError(src + (r * 4 + c) * 3, &rgb[((r / 2) * 2 + c / 2) * 3]);
  return error;
}

float quadrantError(const SourceFrame& source, int b, int q, const EntryRgb& rgb) {
  const std::uint8_t* src = source.blockRgb(b);
  const int top = (q / 2) * 2, left = (q % 2) * 2;
  float error = 0.0f;
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c) error += squaredError(src + ((top + r) * 4 + left + c) * 3, &rgb[(r * 2 + c) * 3]);
  return error;
}

float v4Error(const SourceFrame& source, int b, const Codebook& v4, const std::uint8_t* entries) {
  float error = 0.0f;
  for (int q = 0; q < 4; ++q) error += quadrantError(source, b, q, v4.rgb(entries[q]));
  return error;
}

BlockKind chooseKind(const BlockOptions& options, const BlockBits& bits, float lambda) {
  const float skip = options.skipError + lambda * static_cast<float>(bits.skip);
  const float one = options.v1Error + lambda * static_cast<float>(bits.v1);
  const float four = options.v4Error + lambda * static_cast<float>(bits.v4);
  if (skip <= one && skip <= four) return BlockKind::kSkip;
  return one <= four ? BlockKind::kV1 : BlockKind::kV4;
}

}  // namespace zepra
