#include "cinepak/reference_decoder.h"

#include <algorithm>

namespace zepra {

namespace {

std::uint32_t readBig16(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }
std::uint32_t readBig24(const std::uint8_t* p) { return (p[0] << 16) | (p[1] << 8) | p[2]; }
std::uint32_t readBig32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

}  // namespace

// Walks the bytes of one chunk. Reads past the chunk's end still come from
// the strip (the player reads on regardless) but mark the chunk malformed;
// reads past the strip fail.
class ReferenceDecoder::Reader {
 public:
  Reader(std::span<const std::uint8_t> strip, std::size_t start, std::size_t end)
      : strip_(strip), pos_(start), end_(end) {}

  const std::uint8_t* take(std::size_t count) {
    if (pos_ + count > strip_.size()) return nullptr;
    if (pos_ + count > end_) overran_ = true;
    const std::uint8_t* p = strip_.data() + pos_;
    pos_ += count;
    return p;
  }
  bool takeWord(std::uint32_t& word) {
    const std::uint8_t* p = take(4);
    if (p == nullptr) return false;
    word = readBig32(p);
    return true;
  }
  bool overran() const { return overran_; }
  // Payload bytes as the player counts them (size - 4).
  int payload() const { return static_cast<int>(end_ - pos_); }

 private:
  std::span<const std::uint8_t> strip_;
  std::size_t pos_;
  std::size_t end_;
  bool overran_ = false;
};

ReferenceDecoder::ReferenceDecoder(int width, int height)
    : width_(width), height_(height) {
  if (width > 0 && height > 0 && width <= kScreenWidth && height <= kScreenHeight)
    picture_.assign(static_cast<std::size_t>(width) * height, 0);
}

void ReferenceDecoder::clearPicture() { std::fill(picture_.begin(), picture_.end(), 0); }

bool ReferenceDecoder::decodeStrip(std::uint16_t /*stripType*/, std::span<const std::uint8_t> chunks) {
  // Blocks are drawn whole, so only pictures of whole blocks can be decoded.
  const bool validSize = width_ > 0 && height_ > 0 && width_ % 4 == 0 && height_ % 4 == 0 &&
                         width_ <= kScreenWidth && height_ <= kScreenHeight;
  if (!validSize) return false;
  blockX_ = 0;
  blockY_ = 0;
  bool ok = true;
  std::size_t pos = 0;
  long remaining = static_cast<long>(chunks.size());
  while (remaining >= 1) {
    if (pos + kChunkHeaderSize > chunks.size()) return false;
    const std::uint8_t type = chunks[pos];
    const std::uint8_t secondType = chunks[pos + 1];
    const std::size_t size = readBig16(&chunks[pos + 2]);
    // A chunk shorter than its own header would stall or derail the player.
    if (size < kChunkHeaderSize) return false;
    remaining -= static_cast<long>(size);
    if (pos + size > chunks.size()) ok = false;
    if (secondType == 0) {
      Reader reader(chunks, pos + kChunkHeaderSize, pos + size);
      if (!decodeChunk(type, reader)) return false;
      if (reader.overran()) ok = false;
    }
    pos += size;
  }
  return ok;
}

bool ReferenceDecoder::decodeFrame(std::span<const std::uint8_t> frame) {
  if (frame.size() < kFrameHeaderSize + kStripHeaderSize) return false;
  const std::uint8_t* h = frame.data();
  const std::size_t frameLength = readBig24(h + 1);
  const std::size_t stripSize = readBig16(h + 12);
  if (frameLength > frame.size() || stripSize < kStripHeaderSize ||
      frameLength != stripSize + kFrameHeaderSize)
    return false;
  const bool wholePicture = static_cast<int>(readBig16(h + 4)) == width_ &&
                            static_cast<int>(readBig16(h + 6)) == height_ && readBig16(h + 8) == 1 &&
                            readBig16(h + 14) == 0 && readBig16(h + 16) == 0 &&
                            static_cast<int>(readBig16(h + 18)) == height_ &&
                            static_cast<int>(readBig16(h + 20)) == width_;
  if (!wholePicture) return false;
  return decodeStrip(static_cast<std::uint16_t>(readBig16(h + 10)),
                     frame.subspan(kFrameHeaderSize + kStripHeaderSize, stripSize - kStripHeaderSize));
}

bool ReferenceDecoder::decodeChunk(std::uint8_t type, Reader& reader) {
  switch (type) {
    case kChunkV4Codebook: return fullLoad(v4_, false, reader);
    case kChunkV4CodebookPartial: return partialLoad(v4_, false, reader);
    case kChunkV1Codebook: return fullLoad(v1_, false, reader);
    case kChunkV1CodebookPartial: return partialLoad(v1_, false, reader);
    case kChunkV4CodebookGrey: return fullLoad(v4_, true, reader);
    case kChunkV4CodebookGreyPartial: return partialLoad(v4_, true, reader);
    case kChunkV1CodebookGrey: return fullLoad(v1_, true, reader);
    case kChunkV1CodebookGreyPartial: return partialLoad(v1_, true, reader);
    case kChunkIntraVectors: return intraBlocks(reader);
    case kChunkInterVectors: return interBlocks(reader);
    case kChunkV1Vectors: return v1Blocks(reader);
    default: return true;  // unknown chunks are skipped by their size
  }
}

bool ReferenceDecoder::fullLoad(std::array<EntryPixels, kCodebookSize>& book, bool grey, Reader& reader) {
  const int entrySize = grey ? 4 : 6;
  const int count = std::max(reader.payload(), 0) / entrySize;
  // More than 256 entries would spill past the codebook on the console.
  for (int i = 0; i < std::min(count, kCodebookSize); ++i) {
    const std::uint8_t* entry = reader.take(entrySize);
    if (entry == nullptr) return false;
    book[i] = grey ? convertGreyEntry(entry) : convertColourEntry(entry);
  }
  return count <= kCodebookSize;
}

bool ReferenceDecoder::partialLoad(std::array<EntryPixels, kCodebookSize>& book, bool grey,
                                   Reader& reader) {
  const int entrySize = grey ? 4 : 6;
  int n = reader.payload();
  int index = 0;
  while (n > 0) {
    std::uint32_t flags = 0;
    if (!reader.takeWord(flags)) return false;
    n -= 4;
    for (int bit = 0; bit < 32; ++bit, ++index, flags <<= 1) {
      if ((flags & 0x80000000u) == 0) continue;
      if (index >= kCodebookSize) return false;
      const std::uint8_t* entry = reader.take(entrySize);
      if (entry == nullptr) return false;
      book[index] = grey ? convertGreyEntry(entry) : convertColourEntry(entry);
      n -= entrySize;
    }
  }
  return true;
}

// One block drawn from four V4 indices or one V1 index; n counts the chunk's payload left.
bool ReferenceDecoder::codedBlock(Reader& reader, bool v4, int& n) {
  const std::uint8_t* indices = reader.take(v4 ? 4 : 1);
  if (indices == nullptr) return false;
  if (v4) drawV4(indices); else drawV1(indices[0]);
  n -= v4 ? 4 : 1;
  advanceBlock();
  return true;
}

bool ReferenceDecoder::intraBlocks(Reader& reader) {
  int n = reader.payload();
  while (n > 0 && blockY_ < height_) {
    std::uint32_t flags = 0;
    if (!reader.takeWord(flags)) return false;
    n -= 4;
    for (int bit = 0; bit < 32 && blockY_ < height_; ++bit, flags <<= 1) {
      if (!codedBlock(reader, (flags & 0x80000000u) != 0, n)) return false;
    }
  }
  return true;
}

bool ReferenceDecoder::interBlocks(Reader& reader) {
  int n = reader.payload();
  while (n > 0 && blockY_ < height_) {
    std::uint32_t flags = 0;
    if (!reader.takeWord(flags)) return false;
    n -= 4;
    int bits = 32;
    auto takeBit = [&] {
      const bool bit = (flags & 0x80000000u) != 0;
      flags <<= 1;
      --bits;
      return bit;
    };
    while (bits > 0 && blockY_ < height_) {
      if (!takeBit()) {
        advanceBlock();  // the block keeps the previous frame's pixels
        continue;
      }
      if (bits == 0) {
        // The coding bit lies in the next word; a chunk already overspent ends here.
        if (n < 0) return true;
        if (!reader.takeWord(flags)) return false;
        n -= 4;
        bits = 32;
      }
      if (!codedBlock(reader, takeBit(), n)) return false;
    }
  }
  return true;
}

bool ReferenceDecoder::v1Blocks(Reader& reader) {
  int n = reader.payload();
  while (n > 0 && blockY_ < height_) {
    const std::uint8_t* index = reader.take(1);
    if (index == nullptr) return false;
    drawV1(index[0]);
    n -= 1;
    advanceBlock();
  }
  return true;
}

void ReferenceDecoder::drawV1(int index) {
  const EntryPixels& e = v1_[index];
  std::uint16_t* row = &picture_[static_cast<std::size_t>(blockY_) * width_ + blockX_];
  for (int r = 0; r < 4; ++r, row += width_) {
    const int half = (r >> 1) * 2;  // rows 0-1 use p0 p1, rows 2-3 use p2 p3
    row[0] = row[1] = e[half];
    row[2] = row[3] = e[half + 1];
  }
}

void ReferenceDecoder::drawV4(const std::uint8_t* indices) {
  std::uint16_t* row = &picture_[static_cast<std::size_t>(blockY_) * width_ + blockX_];
  for (int r = 0; r < 4; ++r, row += width_) {
    const EntryPixels& left = v4_[indices[(r >> 1) * 2]];
    const EntryPixels& right = v4_[indices[(r >> 1) * 2 + 1]];
    const int half = (r & 1) * 2;
    row[0] = left[half];
    row[1] = left[half + 1];
    row[2] = right[half];
    row[3] = right[half + 1];
  }
}

void ReferenceDecoder::advanceBlock() {
  blockX_ += 4;
  if (blockX_ >= width_) {
    blockX_ = 0;
    blockY_ += 4;
  }
}

}  // namespace zepra
