#pragma once
// Host twin of the console player's Cinepak decoder: it draws exactly the
// pixels the player draws, so host tests can predict the console's picture.
//
// Codebooks and picture persist between calls, as on the console. The strip
// type is not consulted: the chunks alone say what is drawn. Malformed input
// (a chunk running past the strip, a chunk shorter than its header, vector
// data running past its chunk, a codebook load beyond entry 255) makes a call
// return false; the decoder never reads or writes outside its buffers. Where
// the player would go on reading the bytes that follow a short chunk inside
// the strip, this decoder does the same (so the pictures still agree) and
// still reports the failure.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "cinepak/console_colour.h"
#include "format/cinepak.h"
#include "format/screen.h"

namespace zepra {

class ReferenceDecoder {
 public:
  // Picture size in pixels: multiples of 4, at most 240 x 160; with any other
  // size every decode call fails.
  ReferenceDecoder(int width, int height);

  // One stream record's strip: its type (0x1000 intra, 0x1100 inter) and the
  // chunks after the 12-byte strip header.
  bool decodeStrip(std::uint16_t stripType, std::span<const std::uint8_t> chunks);
  // A whole compressed frame (10-byte frame header + one strip covering the
  // whole picture) as the compressor emits it.
  bool decodeFrame(std::span<const std::uint8_t> frame);

  // width * height console colours, row 0 = top row.
  std::span<const std::uint16_t> picture() const { return picture_; }
  // What the player does on a restart: black picture, codebooks kept.
  void clearPicture();

  const EntryPixels& v4Entry(int index) const { return v4_[index]; }
  const EntryPixels& v1Entry(int index) const { return v1_[index]; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  class Reader;
  bool decodeChunk(std::uint8_t type, Reader& reader);
  bool fullLoad(std::array<EntryPixels, kCodebookSize>& book, bool grey, Reader& reader);
  bool partialLoad(std::array<EntryPixels, kCodebookSize>& book, bool grey, Reader& reader);
  bool intraBlocks(Reader& reader);
  bool interBlocks(Reader& reader);
  bool v1Blocks(Reader& reader);
  bool codedBlock(Reader& reader, bool v4, int& n);
  void drawV1(int index);
  void drawV4(const std::uint8_t* indices);
  void advanceBlock();

  int width_;
  int height_;
  int blockX_ = 0;
  int blockY_ = 0;
  std::vector<std::uint16_t> picture_;
  std::array<EntryPixels, kCodebookSize> v4_{};
  std::array<EntryPixels, kCodebookSize> v1_{};
};

}  // namespace zepra
