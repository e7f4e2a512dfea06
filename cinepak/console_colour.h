#pragma once
// The console player's colour rules, shared by the reference decoder and the
// compressor's model of what the player shows. A codebook entry becomes four
// 15-bit pixels (red bits 0-4, green 5-9, blue 10-14) when it is loaded:
//   red   = C[(Y + 2V) >> 3]
//   green = C[(Y - V - ((U + 1) >> 1)) >> 3]
//   blue  = C[(Y + 2U) >> 3]
// with arithmetic shifts and C clamping to 0..31. Grey entries give Y >> 3 in
// all three channels.

#include <array>
#include <cstdint>

namespace zepra {

using ConsolePixel = std::uint16_t;
using EntryPixels = std::array<ConsolePixel, 4>;  // p0 top left, p1 top right, p2, p3

// The player's clamp table, for indices -64..63.
constexpr int clampComponent(int index) { return index < 0 ? 0 : (index > 31 ? 31 : index); }

constexpr ConsolePixel consolePixel(int y, int u, int v) {
  const int red = clampComponent((y + 2 * v) >> 3);
  const int green = clampComponent((y - v - ((u + 1) >> 1)) >> 3);
  const int blue = clampComponent((y + 2 * u) >> 3);
  return static_cast<ConsolePixel>(red | (green << 5) | (blue << 10));
}

constexpr ConsolePixel consoleGreyPixel(int y) {
  const int g = y >> 3;
  return static_cast<ConsolePixel>(g | (g << 5) | (g << 10));
}

// A colour entry as stored: Y0..Y3 unsigned, U and V as signed bytes.
constexpr EntryPixels convertColourEntry(const std::uint8_t* entry) {
  const int u = static_cast<std::int8_t>(entry[4]);
  const int v = static_cast<std::int8_t>(entry[5]);
  return {consolePixel(entry[0], u, v), consolePixel(entry[1], u, v), consolePixel(entry[2], u, v),
          consolePixel(entry[3], u, v)};
}

constexpr EntryPixels convertGreyEntry(const std::uint8_t* entry) {
  return {consoleGreyPixel(entry[0]), consoleGreyPixel(entry[1]), consoleGreyPixel(entry[2]),
          consoleGreyPixel(entry[3])};
}

// A 5-bit channel as a display shows it in 8 bits (the emulator's expansion).
constexpr int expandChannel(int fiveBit) { return (fiveBit << 3) | (fiveBit >> 2); }

}  // namespace zepra
