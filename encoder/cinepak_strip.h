#pragma once
// Finds the single strip in a compressed Cinepak frame (published layout,
// big-endian fields) and checks every field that the stream format leaves
// out of its records:
//
//   bytes 0     flags (not examined)
//         1..3  frame length L, 6 <= L <= 0x10005 and within the buffer
//         4..7  frame width and height: the output size
//         8..9  number of strips: 1
//        10..11 strip type (kept)
//        12..13 strip size S = L - 10, at least the 12-byte strip header
//        14..21 strip top 0, left 0, bottom = height, right = width
//        22..   strip data, S - 12 bytes (kept)

#include <cstdint>
#include <optional>
#include <span>

namespace zepra {

struct CinepakStrip {
  std::uint16_t type = 0;
  std::span<const std::uint8_t> data;  // the chunks behind the strip header

  // The record word: record length (S - 8, its 4-byte prefix included) and type.
  std::uint32_t recordWord() const {
    return static_cast<std::uint32_t>(data.size() + 4) | static_cast<std::uint32_t>(type) << 16;
  }
};

// The frame's single strip, or empty when any rule is broken.
std::optional<CinepakStrip> findSingleStrip(std::span<const std::uint8_t> frame, int width,
                                            int height);

}  // namespace zepra
