#include "cinepak/codebook.h"

namespace zepra {

void Codebook::clear() {
  bytes_ = {};
  pixels_ = {};
  rgb_ = {};
  search_.clear();
}

void Codebook::set(int index, const EntryBytes& bytes) {
  bytes_[index] = bytes;
  pixels_[index] = convertColourEntry(bytes.data());
  for (int p = 0; p < 4; ++p) displayRgb(pixels_[index][p], &rgb_[index][p * 3]);
  search_.set(index, entryVector(bytes.data()));
}

}  // namespace zepra
