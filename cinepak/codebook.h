#pragma once
// A codebook as the player holds it: which of the 256 entries have been
// loaded, their bytes (Y0..Y3, U, V), the four console pixels each becomes,
// those pixels as a display shows them in 8-bit RGB (for exact error
// measurement), and the search table over the loaded entries.

#include <array>
#include <cstdint>

#include "cinepak/console_colour.h"
#include "cinepak/search_table.h"

namespace zepra {

using EntryBytes = std::array<std::uint8_t, 6>;
// p0..p3, each R G B as displayed.
using EntryRgb = std::array<std::int16_t, 12>;

class Codebook {
 public:
  static constexpr int kEntries = SearchTable::kEntries;

  void clear();
  void set(int index, const EntryBytes& bytes);
  bool valid(int index) const { return search_.active(index); }
  const EntryBytes& bytes(int index) const { return bytes_[index]; }
  const EntryPixels& pixels(int index) const { return pixels_[index]; }
  const EntryRgb& rgb(int index) const { return rgb_[index]; }
  const SearchTable& search() const { return search_; }

 private:
  std::array<EntryBytes, kEntries> bytes_{};
  std::array<EntryPixels, kEntries> pixels_{};
  std::array<EntryRgb, kEntries> rgb_{};
  SearchTable search_;
};

// A console pixel as a display shows it: R, G, B in 8 bits.
inline void displayRgb(ConsolePixel p, std::int16_t* out) {
  out[0] = static_cast<std::int16_t>(expandChannel(p & 31));
  out[1] = static_cast<std::int16_t>(expandChannel((p >> 5) & 31));
  out[2] = static_cast<std::int16_t>(expandChannel((p >> 10) & 31));
}

}  // namespace zepra
