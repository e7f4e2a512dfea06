#pragma once
// How each 4 x 4 block is coded: skipped (inter frames only: it keeps what
// the player shows), drawn from one V1 entry, or from four V4 entries. Every
// option is measured exactly, as the sum of squared errors between the source
// and the picture the player would show in 8-bit display RGB, and the choice
// minimises error + lambda x bits.

#include <cstdint>
#include <span>

#include "cinepak/codebook.h"
#include "cinepak/source_frame.h"

namespace zepra {

enum class BlockKind : std::uint8_t { kSkip, kV1, kV4 };

struct BlockChoice {
  BlockKind kind = BlockKind::kSkip;
  std::uint8_t index[4] = {0, 0, 0, 0};  // V1: index[0]; V4: the four quadrants
};

struct BlockOptions {
  float skipError = 0.0f;  // infinite in intra frames
  float v1Error = 0.0f;    // infinite when no V1 entry is loaded
  float v4Error = 0.0f;    // infinite when no V4 entry is loaded
  std::uint8_t v1 = 0;
  std::uint8_t v4[4] = {0, 0, 0, 0};
};

inline constexpr float kUnavailable = 1e30f;

// Flag and index bits of each option.
struct BlockBits {
  int skip, v1, v4;
};
inline constexpr BlockBits kIntraBits{0, 1 + 8, 1 + 32};
inline constexpr BlockBits kInterBits{1, 2 + 8, 2 + 32};

// Error of showing `shown` (16 console pixels, row by row) for block b.
float blockError(const SourceFrame& source, int b, const ConsolePixel* shown);
// Error of the player's picture (width x height console pixels) in block b.
float skipError(const SourceFrame& source, int b, std::span<const ConsolePixel> picture);
float v1Error(const SourceFrame& source, int b, const Codebook& v1, int entry);
float v4Error(const SourceFrame& source, int b, const Codebook& v4, const std::uint8_t* entries);
// Error of quadrant q of block b drawn from one V4 entry's pixels.
float quadrantError(const SourceFrame& source, int b, int q, const EntryRgb& rgb);

BlockKind chooseKind(const BlockOptions& options, const BlockBits& bits, float lambda);

}  // namespace zepra
