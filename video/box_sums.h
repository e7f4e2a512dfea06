#pragma once
// The weighted sums of the area path, one output row of boxes at a time.
// Each box is summed row by row, column by column, so the sums are fixed to
// the last bit; two neighbouring boxes are summed side by side because their
// sums do not depend on each other, so the processor can overlap them.
//
// The loop is a template over how one pixel is added, instantiated once
// plainly and once in a unit built for AVX2; it lives in an unnamed namespace
// so that the two builds never share a definition.

#include <cstddef>
#include <cstdint>

#include "video/frame_converter.h"

namespace zepra {

struct BoxRow {
  const std::uint8_t* window;  // the window's first pixel in the box row's first source row
  std::size_t rowBytes;
  std::uint32_t rowCount;
  const double* rowWeights;
  const FrameConverterBox* boxes;
  const double* columnWeights;
  double* sums;  // four per box: blue, green, red, unused
};

// Boxes first .. end - 1 with AVX2. The fourth byte after each pixel is
// read, so the caller keeps the frame's last pixel out of these boxes.
void sumBoxesAvx2(const BoxRow& row, int first, int end);

namespace {

template <class Sums>
inline void sumBoxes(const BoxRow& row, int first, int end) {
  int x = first;
  for (; x + 1 < end; x += 2) {
    const FrameConverterBox& left = row.boxes[x];
    const FrameConverterBox& right = row.boxes[x + 1];
    const double* leftWeights = row.columnWeights + left.weightIndex;
    const double* rightWeights = row.columnWeights + right.weightIndex;
    const std::uint32_t common = left.count < right.count ? left.count : right.count;
    Sums a;
    Sums b;
    const std::uint8_t* line = row.window;
    for (std::uint32_t r = 0; r < row.rowCount; ++r, line += row.rowBytes) {
      const double rowWeight = row.rowWeights[r];
      const std::uint8_t* pa = line + 3 * left.first;
      const std::uint8_t* pb = line + 3 * right.first;
      std::uint32_t c = 0;
      for (; c < common; ++c) {
        a.add(pa + 3 * c, leftWeights[c] * rowWeight);
        b.add(pb + 3 * c, rightWeights[c] * rowWeight);
      }
      for (std::uint32_t ca = c; ca < left.count; ++ca) a.add(pa + 3 * ca, leftWeights[ca] * rowWeight);
      for (std::uint32_t cb = c; cb < right.count; ++cb) b.add(pb + 3 * cb, rightWeights[cb] * rowWeight);
    }
    a.store(row.sums + 4 * x);
    b.store(row.sums + 4 * x + 4);
  }
  for (; x < end; ++x) {
    const FrameConverterBox& box = row.boxes[x];
    Sums a;
    const std::uint8_t* line = row.window;
    for (std::uint32_t r = 0; r < row.rowCount; ++r, line += row.rowBytes) {
      for (std::uint32_t c = 0; c < box.count; ++c) {
        a.add(line + 3 * (box.first + c), row.columnWeights[box.weightIndex + c] * row.rowWeights[r]);
      }
    }
    a.store(row.sums + 4 * x);
  }
}

}  // namespace
}  // namespace zepra
