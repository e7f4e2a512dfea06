#include "cinepak/frame_writer.h"

#include "format/cinepak.h"

namespace zepra {

namespace {

class ByteWriter {
 public:
  explicit ByteWriter(std::uint8_t* out) : out_(out) {}
  void byte(unsigned v) { out_[pos_++] = static_cast<std::uint8_t>(v); }
  void big16(unsigned v) {
    byte(v >> 8);
    byte(v);
  }
  void big32(std::uint32_t v) {
    big16(v >> 16);
    big16(v & 0xFFFF);
  }
  std::size_t pos() const { return pos_; }
  std::uint8_t* at(std::size_t pos) { return out_ + pos; }
  void chunkHeader(unsigned type, std::size_t size) {
    byte(type);
    byte(0);
    big16(static_cast<unsigned>(size));
  }

 private:
  std::uint8_t* out_;
  std::size_t pos_ = 0;
};

// Flag bits in 32-bit words placed where the player reads them: a new word
// is opened in the byte stream when the previous one is used up.
class FlagWords {
 public:
  explicit FlagWords(ByteWriter& out) : out_(out) {}
  void bit(bool value) {
    if (used_ == 32) {
      word_ = out_.pos();
      out_.big32(0);
      used_ = 0;
    }
    if (value) *out_.at(word_ + used_ / 8) |= static_cast<std::uint8_t>(0x80 >> (used_ % 8));
    ++used_;
  }

 private:
  ByteWriter& out_;
  std::size_t word_ = 0;
  int used_ = 32;
};

int lastCodedBlock(std::span<const BlockChoice> blocks) {
  for (int b = static_cast<int>(blocks.size()) - 1; b >= 0; --b)
    if (blocks[b].kind != BlockKind::kSkip) return b;
  return -1;
}

bool allV1(std::span<const BlockChoice> blocks) {
  for (const BlockChoice& c : blocks)
    if (c.kind != BlockKind::kV1) return false;
  return true;
}

void writeCodebook(ByteWriter& out, unsigned fullType, const CodebookLoad& load, const Codebook& book, bool grey) {
  if (load.empty()) return;
  const std::size_t entrySize = grey ? 4 : 6;
  const unsigned type = fullType + (grey ? kChunkGreyStep : 0) + (load.full ? 0 : kChunkPartialStep);
  out.chunkHeader(type, codebookChunkSize(load, grey));
  auto entry = [&](int i) {
    for (std::size_t k = 0; k < entrySize; ++k) out.byte(book.bytes(i)[k]);
  };
  if (load.full) {
    for (int i = 0; i < load.count; ++i) entry(i);
    return;
  }
  for (int first = 0; first < load.count; first += 32) {
    std::uint32_t flags = 0;
    for (int k = 0; k < 32 && first + k < load.count; ++k)
      if (load.send[first + k]) flags |= 0x80000000u >> k;
    out.big32(flags);
    for (int k = 0; k < 32 && first + k < load.count; ++k)
      if (load.send[first + k]) entry(first + k);
  }
}

void writeIndices(ByteWriter& out, const BlockChoice& c) {
  if (c.kind == BlockKind::kV1) {
    out.byte(c.index[0]);
  } else {
    for (int q = 0; q < 4; ++q) out.byte(c.index[q]);
  }
}

void writeVectors(ByteWriter& out, std::span<const BlockChoice> blocks, bool intra) {
  const std::size_t size = vectorChunkSize(blocks, intra);
  if (size == 0) return;
  if (intra && allV1(blocks)) {
    out.chunkHeader(kChunkV1Vectors, size);
    for (const BlockChoice& c : blocks) out.byte(c.index[0]);
    return;
  }
  out.chunkHeader(intra ? kChunkIntraVectors : kChunkInterVectors, size);
  FlagWords flags(out);
  const int last = intra ? static_cast<int>(blocks.size()) - 1 : lastCodedBlock(blocks);
  for (int b = 0; b <= last; ++b) {
    const BlockChoice& c = blocks[b];
    if (!intra) flags.bit(c.kind != BlockKind::kSkip);
    if (c.kind == BlockKind::kSkip) continue;
    flags.bit(c.kind == BlockKind::kV4);
    writeIndices(out, c);
  }
}

}  // namespace

std::size_t codebookChunkSize(const CodebookLoad& load, bool grey) {
  if (load.empty()) return 0;
  const std::size_t entrySize = grey ? 4 : 6;
  if (load.full) return kChunkHeaderSize + entrySize * load.count;
  return kChunkHeaderSize + 4 * ((load.count + 31) / 32) + entrySize * load.send.count();
}

std::size_t vectorChunkSize(std::span<const BlockChoice> blocks, bool intra) {
  if (blocks.empty()) return 0;
  if (intra && allV1(blocks)) return kChunkHeaderSize + blocks.size();
  const int last = intra ? static_cast<int>(blocks.size()) - 1 : lastCodedBlock(blocks);
  if (last < 0) return 0;
  std::size_t bits = 0, indices = 0;
  for (int b = 0; b <= last; ++b) {
    switch (blocks[b].kind) {
      case BlockKind::kSkip: bits += 1; break;
      case BlockKind::kV1: bits += intra ? 1 : 2; indices += 1; break;
      case BlockKind::kV4: bits += intra ? 1 : 2; indices += 4; break;
    }
  }
  return kChunkHeaderSize + 4 * ((bits + 31) / 32) + indices;
}

std::size_t frameSize(const FramePlan& plan) {
  return kFrameHeadersSize + codebookChunkSize(plan.v4Load, plan.grey) + codebookChunkSize(plan.v1Load, plan.grey) +
         vectorChunkSize(plan.blocks, plan.intra);
}

std::size_t writeFrame(const FramePlan& plan, std::uint8_t* out) {
  const std::size_t length = frameSize(plan);
  ByteWriter w(out);
  w.byte(plan.intra ? 0x00 : 0x01);
  w.byte(static_cast<unsigned>(length >> 16));
  w.big16(static_cast<unsigned>(length & 0xFFFF));
  w.big16(plan.width);
  w.big16(plan.height);
  w.big16(1);
  w.big16(plan.intra ? kIntraStrip : kInterStrip);
  w.big16(static_cast<unsigned>(length - kFrameHeaderSize));
  w.big16(0);
  w.big16(0);
  w.big16(plan.height);
  w.big16(plan.width);
  writeCodebook(w, kChunkV4Codebook, plan.v4Load, *plan.v4, plan.grey);
  writeCodebook(w, kChunkV1Codebook, plan.v1Load, *plan.v1, plan.grey);
  writeVectors(w, plan.blocks, plan.intra);
  return w.pos();
}

}  // namespace zepra
