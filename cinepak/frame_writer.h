#pragma once
// Writes one compressed frame in the published Cinepak layout: the 10-byte
// frame header, one strip covering the whole picture (12-byte header, type
// 0x1000 intra or 0x1100 inter), codebook chunks, then one vector chunk.
// Sizes are computed exactly without writing, so the budget can be checked
// before any byte is produced.

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cinepak/block_decisions.h"
#include "cinepak/codebook.h"
#include "format/cinepak.h"

namespace zepra {

// Which entries of one codebook a frame sends.
struct CodebookLoad {
  bool full = false;  // full load (0x20/0x22) of entries 0..count-1, else a partial update
  int count = 0;      // full: entries loaded; partial: entries 0..count-1 covered by flags
  std::bitset<256> send;  // partial: the entries sent
  bool empty() const { return count == 0; }
};

struct FramePlan {
  int width = 0;
  int height = 0;
  bool intra = true;
  bool grey = false;  // entries are sent as luma only (U = V = 0)
  CodebookLoad v4Load, v1Load;
  const Codebook* v4 = nullptr;  // the values sent
  const Codebook* v1 = nullptr;
  std::span<const BlockChoice> blocks;
};

// The frame header and the one strip header before the chunks.
inline constexpr std::size_t kFrameHeadersSize = kFrameHeaderSize + kStripHeaderSize;

std::size_t codebookChunkSize(const CodebookLoad& load, bool grey);
std::size_t vectorChunkSize(std::span<const BlockChoice> blocks, bool intra);
std::size_t frameSize(const FramePlan& plan);
// Writes the frame into out (at least frameSize(plan) bytes) and returns its length.
std::size_t writeFrame(const FramePlan& plan, std::uint8_t* out);

}  // namespace zepra
