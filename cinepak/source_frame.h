#pragma once
// One input frame cut into 4 x 4 blocks, in the forms the compressor needs:
// the pixels for exact error measurement and the search-space vectors for
// codebook training (four V4 vectors per block, one V1 vector per block).
// Buffers are sized once by resize(); load() only fills them.

#include <cstdint>
#include <vector>

#include "cinepak/split_loop.h"
#include "cinepak/vector_space.h"

namespace zepra {

class SourceFrame {
 public:
  void resize(int width, int height);
  // A 24-bit bottom-up BGR frame of the size given to resize(), rows unpadded;
  // the blocks are cut on the loop's threads, or on the caller's alone.
  void load(const std::uint8_t* bgrBottomUp, SplitLoop& loop);
  void load(const std::uint8_t* bgrBottomUp);

  int width() const { return width_; }
  int height() const { return height_; }
  int blocksAcross() const { return width_ / 4; }
  int blockCount() const { return blockCount_; }
  // 16 pixels of block b, row by row, each R G B.
  const std::uint8_t* blockRgb(int b) const { return &rgb_[static_cast<std::size_t>(b) * 48]; }
  // Quadrant q of block b (0 top left, 1 top right, 2 bottom left, 3 bottom right).
  const Vector6& v4Vector(int b, int q) const { return v4_[static_cast<std::size_t>(b) * 4 + q]; }
  const Vector6& v1Vector(int b) const { return v1_[b]; }
  // What a V1 vector cannot show of block b (detail inside its quadrants and
  // colour differences between them), in the units of display error: a V1
  // entry's error is about this plus its distance times kV1DistanceToRgb.
  float v1Detail(int b) const { return v1Detail_[b]; }
  // True when every pixel has red = green = blue.
  bool grey() const { return grey_; }

 private:
  // Cuts blocks begin..end-1; false when one of them has a pixel that is not grey.
  bool loadBlocks(const std::uint8_t* bgrBottomUp, int begin, int end);

  int width_ = 0;
  int height_ = 0;
  int blockCount_ = 0;
  bool grey_ = false;
  std::vector<std::uint8_t> rgb_;
  std::vector<Vector6> v4_;
  std::vector<Vector6> v1_;
  std::vector<float> v1Detail_;
};

}  // namespace zepra
