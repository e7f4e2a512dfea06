// What a frame costs the console player to decode, by its size, for the
// frames that cost the most per byte: blocks drawn from one V1 entry (a byte
// draws 16 pixels), blocks drawn from four V4 entries, codebook loads (six
// bytes convert four pixels) and the flag words of skipped blocks. The
// converter's model of decoding time (encoder/decode_time.h) must cover
// every one of them, so that a budget it allows is never late on the console.
// Cycles are the emulator's, so the figures are exact and repeatable.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cinepak/frame_encoder.h"
#include "encoder/decode_time.h"
#include "format/cinepak.h"
#include "player/host/console_emulator.h"
#include "tests/player/player_probe.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

constexpr int kBlocks = 60 * 40;
constexpr std::size_t kFrameOverChunks = kFrameHeaderSize + kStripHeaderSize;

// The flag bits of an inter-coded chunk, interleaved with the indices they
// announce, as the player reads them.
class InterBlocks {
 public:
  void skip() { bit(0); }
  void v1(std::uint8_t index) {
    bit(1);
    bit(0);
    data_.push_back(index);
  }
  void v4(std::uint8_t index) {
    bit(1);
    bit(1);
    for (int q = 0; q < 4; ++q) data_.push_back(static_cast<std::uint8_t>(index + q * 37));
  }
  Bytes chunk() const { return test::chunk(kChunkInterVectors, data_); }

 private:
  void bit(int value) {
    if (used_ == 32) {
      wordAt_ = data_.size();
      data_.insert(data_.end(), 4, 0);
      used_ = 0;
    }
    if (value) data_[wordAt_ + static_cast<std::size_t>(used_ / 8)] |= static_cast<std::uint8_t>(0x80 >> (used_ % 8));
    ++used_;
  }
  Bytes data_;
  std::size_t wordAt_ = 0;
  int used_ = 32;
};

Bytes codebook(std::uint8_t type, int entries, int seed) {
  Bytes out;
  for (int i = 0; i < entries; ++i) {
    const Bytes e = colourEntry(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i + seed),
                                static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 3),
                                static_cast<std::int8_t>(i - 128), static_cast<std::int8_t>(seed - i));
    out.insert(out.end(), e.begin(), e.end());
  }
  return chunk(type, out);
}

struct Probe {
  std::string kind;
  FrameRecord record;
  bool costliest = false;  // the costliest mix of its size: every block drawn
};

// Inter frames of one kind with `coded` of the picture's blocks drawn.
FrameRecord blocksFrame(int coded, bool v4) {
  InterBlocks blocks;
  for (int b = 0; b < kBlocks; ++b) {
    // Coded blocks spread over the picture.
    if (static_cast<long>(b) * coded / kBlocks != static_cast<long>(b + 1) * coded / kBlocks) {
      if (v4) blocks.v4(static_cast<std::uint8_t>(b * 7)); else blocks.v1(static_cast<std::uint8_t>(b * 7));
    } else {
      blocks.skip();
    }
  }
  return {kInterStrip, blocks.chunk()};
}

std::vector<Probe> probes() {
  std::vector<Probe> out;
  // First an intra frame that loads both codebooks, so every index is valid.
  Bytes intra = codebook(kChunkV4Codebook, 256, 1);
  const Bytes v1 = codebook(kChunkV1Codebook, 256, 2);
  intra.insert(intra.end(), v1.begin(), v1.end());
  Bytes indices;
  for (int b = 0; b < kBlocks; b += 32) {
    appendBigEndian32(indices, 0);
    for (int i = 0; i < 32; ++i) indices.push_back(static_cast<std::uint8_t>(b + i));
  }
  const Bytes drawn = chunk(kChunkIntraVectors, indices);
  intra.insert(intra.end(), drawn.begin(), drawn.end());
  out.push_back({"intra", {kIntraStrip, intra}, true});
  for (const int coded : {0, 300, 1200, kBlocks}) out.push_back({"V1 blocks", blocksFrame(coded, false), coded == kBlocks});
  for (const int coded : {300, 1200, kBlocks}) out.push_back({"V4 blocks", blocksFrame(coded, true), coded == kBlocks});
  for (const int entries : {64, 256}) {
    Bytes books = codebook(kChunkV4Codebook, entries, 3);
    const Bytes more = codebook(kChunkV1Codebook, entries, 4);
    books.insert(books.end(), more.begin(), more.end());
    const Bytes none = blocksFrame(0, false).chunks;
    books.insert(books.end(), none.begin(), none.end());
    out.push_back({"codebooks", {kInterStrip, books}});
  }
  out.push_back({"V1 only", {kInterStrip, chunk(kChunkV1Vectors, Bytes(kBlocks, 5))}, true});
  return out;
}

TEST(DecodeCost, TheDecodingTimeModelCoversEveryKindOfFrameAtEverySize) {
  const std::vector<Probe> frames = probes();
  TestStream stream;
  stream.playbackStep = 0x2000;  // slow enough that nothing waits for the screen
  for (const Probe& p : frames) stream.frames.push_back(p.record);
  for (int i = 0; i < 176 * 16; ++i) stream.audioBlocks.push_back(static_cast<std::uint8_t>(i % 3 ? 0x77 : 0xFF));

  std::string error;
  auto console = ConsoleEmulator::load(cartridge(stream.bytes()), error);
  ASSERT_NE(console, nullptr) << error;
  const std::vector<FrameCost> costs = measureDecoding(*console, static_cast<int>(frames.size()));
  ASSERT_EQ(costs.size(), frames.size());
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const std::uint64_t bytes = frames[f].record.chunks.size() + kFrameOverChunks;
    const std::uint64_t model = decodeCyclesAtMost(bytes, kBlocks);
    std::printf("%-10s %6llu bytes %8llu cycles (model %8llu)\n", frames[f].kind.c_str(),
                static_cast<unsigned long long>(bytes), static_cast<unsigned long long>(costs[f].decodeCycles),
                static_cast<unsigned long long>(model));
    EXPECT_GE(model, costs[f].decodeCycles) << frames[f].kind << ", " << bytes << " bytes";
    // For the costliest mixes the bound is near what they cost: a looser one
    // would refuse frames the player decodes in time.
    if (frames[f].costliest) {
      EXPECT_LE(model, costs[f].decodeCycles * 5 / 4) << frames[f].kind << ", " << bytes << " bytes";
    }
  }
  // At 30 frames a second every 240 x 160 frame the compressor can make is
  // timely; at 60 only small ones are.
  EXPECT_GE(largestTimelyFrame({30000, 1000}, 240, 160), FrameEncoder::maxFrameSize(240, 160));
  EXPECT_LT(largestTimelyFrame({60000, 1000}, 240, 160), 2000u);
}

}  // namespace
}  // namespace zepra::test
