// The reference decoder on hand-built chunks: every chunk type, the inter-chunk
// bit rules, skipped and malformed chunks, and agreement with FFmpeg's decoder.
#include "cinepak/reference_decoder.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/cinepak/chunk_builder.h"
#include "tests/cinepak/ffmpeg_cinepak.h"

namespace zepra {
namespace {

using test::Bytes;
using test::chunk;
using test::concat;

// Console pixel with the same 5-bit value in all three channels.
constexpr ConsolePixel grey5(int level) { return static_cast<ConsolePixel>(level | level << 5 | level << 10); }

// Colour entries with U = V = 0 whose pixels are the grey levels base .. base+3.
Bytes greyColourEntry(int base) {
  return {static_cast<std::uint8_t>(8 * base), static_cast<std::uint8_t>(8 * (base + 1)),
          static_cast<std::uint8_t>(8 * (base + 2)), static_cast<std::uint8_t>(8 * (base + 3)), 0, 0};
}

// V4 entry i has levels 4i..4i+3; V1 entry i has levels 16+i..19+i (i < 12).
Bytes standardBooks() {
  Bytes v4, v1;
  for (int i = 0; i < 8; ++i) {
    Bytes e = greyColourEntry(4 * i % 28);
    v4.insert(v4.end(), e.begin(), e.end());
    e = greyColourEntry(16 + i);
    v1.insert(v1.end(), e.begin(), e.end());
  }
  return concat({chunk(0x20, v4), chunk(0x22, v1)});
}

ConsolePixel at(const ReferenceDecoder& d, int x, int y) { return d.picture()[y * d.width() + x]; }

void expectV1Block(const ReferenceDecoder& d, int bx, int by, int entry) {
  const int base = 16 + entry;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      EXPECT_EQ(at(d, bx + c, by + r), grey5(base + (r / 2) * 2 + c / 2)) << bx << "," << by << " r" << r << " c" << c;
}

void expectV4Block(const ReferenceDecoder& d, int bx, int by, std::array<int, 4> entries) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      const int e = entries[(r / 2) * 2 + c / 2];
      const int level = 4 * e % 28 + (r % 2) * 2 + c % 2;
      EXPECT_EQ(at(d, bx + c, by + r), grey5(level)) << bx << "," << by << " r" << r << " c" << c;
    }
}

void expectBlack(const ReferenceDecoder& d, int bx, int by) {
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) EXPECT_EQ(at(d, bx + c, by + r), 0);
}

TEST(ConsoleColour, EntriesFollowThePlayersRule) {
  struct Case { int y, u, v; ConsolePixel pixel; };
  const Case cases[] = {
      {255, 0, 0, 0x7FFF},
      {0, -128, -128, 24 << 5},                // red and blue clamped from -32, green 192 >> 3
      {100, 3, 0, 12 | 12 << 5 | 13 << 10},    // green uses (U + 1) >> 1
      {104, 1, 0, 13 | 12 << 5 | 13 << 10},    // odd U rounds green down
      {104, -3, 0, 13 | 13 << 5 | 12 << 10},
      {8, 0, 0, grey5(1)},
      {200, 127, 127, 31 | 1 << 5 | 31 << 10},  // green 200 - 127 - 64 = 9
  };
  for (const Case& c : cases) {
    const std::uint8_t entry[6] = {static_cast<std::uint8_t>(c.y), 0, 0, 0, static_cast<std::uint8_t>(c.u),
                                   static_cast<std::uint8_t>(c.v)};
    EXPECT_EQ(convertColourEntry(entry)[0], c.pixel) << c.y << " " << c.u << " " << c.v;
  }
  const std::uint8_t grey[4] = {255, 16, 7, 0};
  EXPECT_EQ(convertGreyEntry(grey), (EntryPixels{0x7FFF, grey5(2), 0, 0}));
}

TEST(ReferenceDecoder, IntraChunkDrawsV1AndV4Blocks) {
  ReferenceDecoder d(8, 8);
  // Blocks: V4, V1, V1, V4 (flags 1001...).
  const Bytes blocks = {0x90, 0, 0, 0, 0, 1, 2, 3, 5, 6, 7, 6, 5, 4};
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, concat({standardBooks(), chunk(0x30, blocks)})));
  expectV4Block(d, 0, 0, {0, 1, 2, 3});
  expectV1Block(d, 4, 0, 5);
  expectV1Block(d, 0, 4, 6);
  expectV4Block(d, 4, 4, {7, 6, 5, 4});
}

TEST(ReferenceDecoder, GreyLoadsFillBothCodebooks) {
  ReferenceDecoder d(4, 4);
  const Bytes v4 = {8, 16, 24, 32}, v1 = {248, 0, 80, 255};
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, concat({chunk(0x24, v4), chunk(0x26, v1)})));
  EXPECT_EQ(d.v4Entry(0), (EntryPixels{grey5(1), grey5(2), grey5(3), grey5(4)}));
  EXPECT_EQ(d.v1Entry(0), (EntryPixels{grey5(31), 0, grey5(10), grey5(31)}));
}

TEST(ReferenceDecoder, PartialUpdatesChangeOnlyFlaggedEntries) {
  struct Case { std::uint8_t type; bool v4; bool grey; };
  for (const Case c : {Case{0x21, true, false}, Case{0x23, false, false}, Case{0x25, true, true},
                       Case{0x27, false, true}}) {
    ReferenceDecoder d(4, 4);
    ASSERT_TRUE(d.decodeStrip(kIntraStrip, standardBooks()));
    const EntryPixels before2 = c.v4 ? d.v4Entry(2) : d.v1Entry(2);
    const Bytes entry = c.grey ? Bytes{248, 248, 0, 0} : Bytes{248, 248, 0, 0, 0, 0};
    // Word 1 flags entries 1 and 31, word 2 flags entry 32.
    Bytes payload = {0x40, 0, 0, 1};
    payload.insert(payload.end(), entry.begin(), entry.end());
    payload.insert(payload.end(), entry.begin(), entry.end());
    payload.insert(payload.end(), {0x80, 0, 0, 0});
    payload.insert(payload.end(), entry.begin(), entry.end());
    ASSERT_TRUE(d.decodeStrip(kInterStrip, chunk(c.type, payload))) << int(c.type);
    const EntryPixels expected{grey5(31), grey5(31), 0, 0};
    for (int i : {1, 31, 32}) EXPECT_EQ(c.v4 ? d.v4Entry(i) : d.v1Entry(i), expected) << int(c.type) << " " << i;
    EXPECT_EQ(c.v4 ? d.v4Entry(2) : d.v1Entry(2), before2) << int(c.type);
  }
}

TEST(ReferenceDecoder, InterChunkSkipsAndRedrawsBlocks) {
  ReferenceDecoder d(8, 8);
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, concat({standardBooks(), chunk(0x32, {0, 1, 2, 3})})));
  const std::vector<ConsolePixel> intra(d.picture().begin(), d.picture().end());
  ASSERT_TRUE(d.decodeStrip(kInterStrip, chunk(0x31, {0, 0, 0, 0})));
  EXPECT_TRUE(std::equal(intra.begin(), intra.end(), d.picture().begin()));
  // skip, V1 (10), skip, V4 (11): bits 0 10 0 11.
  ASSERT_TRUE(d.decodeStrip(kInterStrip, chunk(0x31, {0b01001100, 0, 0, 0, 7, 4, 5, 6, 7})));
  expectV1Block(d, 0, 0, 0);
  expectV1Block(d, 4, 0, 7);
  expectV1Block(d, 0, 4, 2);
  expectV4Block(d, 4, 4, {4, 5, 6, 7});
}

TEST(ReferenceDecoder, InterCodingBitMayLieInTheNextWord) {
  ReferenceDecoder d(32, 16);  // 32 blocks: block 31 is coded by bit 0 and the next word's top bit
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, standardBooks()));
  ASSERT_TRUE(d.decodeStrip(kInterStrip, chunk(0x31, {0, 0, 0, 1, 0, 0, 0, 0, 3})));
  expectBlack(d, 24, 12);
  expectV1Block(d, 28, 12, 3);
}

TEST(ReferenceDecoder, InterChunkSpentAtAWordBoundaryReadsOnPastItsEnd) {
  ReferenceDecoder d(32, 16);
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, standardBooks()));
  // Blocks 0-30 are kept and block 31 is coded, but its coding bit would be
  // the next word's top bit. The payload is spent to the byte, not overspent,
  // so that word comes from the bytes after the chunk: the next chunk's
  // header 32 00 00 05 (top bit 0: V1) and then its first byte, index 4.
  const Bytes strip = concat({chunk(0x31, {0, 0, 0, 1}), chunk(0x32, {4})});
  EXPECT_FALSE(d.decodeStrip(kInterStrip, strip)) << "the overrun went unreported";
  expectBlack(d, 24, 12);
  expectV1Block(d, 28, 12, 4);
}

TEST(ReferenceDecoder, OverspentInterChunkEndsAtTheWordBoundary) {
  ReferenceDecoder d(32, 16);
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, standardBooks()));
  // Block 0 is V4 but only three of its indices are in the chunk; block 30's
  // coding bit would need the next word, and the overspent chunk ends there.
  // The fourth index is read from the next chunk's first byte (0x32, an
  // entry never loaded), and the next chunk goes on at block 30.
  const Bytes strip = concat({chunk(0x31, {0xC0, 0, 0, 1, 1, 2, 3}), chunk(0x32, {4})});
  EXPECT_FALSE(d.decodeStrip(kInterStrip, strip));
  EXPECT_EQ(at(d, 0, 0), grey5(4));
  EXPECT_EQ(at(d, 2, 0), grey5(8));
  EXPECT_EQ(at(d, 0, 2), grey5(12));
  EXPECT_EQ(at(d, 2, 2), 0);
  expectBlack(d, 4, 0);
  expectV1Block(d, 24, 12, 4);
  expectBlack(d, 28, 12);
}

TEST(ReferenceDecoder, V1OnlyChunksContinueTheBlockPositionAndStopAtTheLastBlock) {
  ReferenceDecoder d(8, 8);
  const Bytes strip = concat({standardBooks(), chunk(0x32, {1, 2}), chunk(0x32, {3, 4, 5, 6, 7}),
                              chunk(0x23, {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0})});
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, strip));
  expectV1Block(d, 0, 0, 1);
  expectV1Block(d, 4, 0, 2);
  expectV1Block(d, 0, 4, 3);
  expectV1Block(d, 4, 4, 4);
  EXPECT_EQ(d.v1Entry(0), (EntryPixels{0, 0, 0, 0}));  // the chunk after the surplus was decoded
}

TEST(ReferenceDecoder, SkipsUnknownChunksAndChunksWithASecondTypeByte) {
  ReferenceDecoder d(4, 4);
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, standardBooks()));
  const Bytes strip = concat({chunk(0x20, {0, 0, 0, 0, 0, 0}, 0x01), chunk(0x40, {1, 2, 3}),
                              chunk(0x11, {}), chunk(0x32, {2})});
  ASSERT_TRUE(d.decodeStrip(kInterStrip, strip));
  EXPECT_EQ(d.v4Entry(0), (EntryPixels{0, grey5(1), grey5(2), grey5(3)}));
  expectV1Block(d, 0, 0, 2);
}

TEST(ReferenceDecoder, RestartClearsThePictureAndKeepsTheCodebooks) {
  ReferenceDecoder d(4, 4);
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, concat({standardBooks(), chunk(0x32, {5})})));
  d.clearPicture();
  expectBlack(d, 0, 0);
  ASSERT_TRUE(d.decodeStrip(kIntraStrip, chunk(0x32, {5})));
  expectV1Block(d, 0, 0, 5);
}

TEST(ReferenceDecoder, MalformedInputFailsSafely) {
  const Bytes books = standardBooks();
  Bytes manyEntries(257 * 6, 0);
  Bytes nineWords(8 * 4, 0);
  nineWords.insert(nineWords.end(), {0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  Bytes truncated = chunk(0x32, {1, 2, 3, 4});
  truncated.resize(6);
  struct Case { const char* name; Bytes strip; };
  const Case cases[] = {
      {"chunk longer than the strip", concat({books, truncated})},
      {"chunk size 0", concat({books, {0x40, 0, 0, 0}})},
      {"chunk size 3", concat({books, {0x40, 0, 0, 3}})},
      {"header cut short", concat({books, {0x32, 0}})},
      {"V4 indices past the strip", concat({books, chunk(0x30, {0x80, 0, 0, 0, 1, 2})})},
      {"V4 indices past the chunk", concat({chunk(0x30, {0x80, 0, 0, 0, 1, 2}), books})},
      {"flag word past the strip", chunk(0x31, {0, 0})},
      {"257 entries", chunk(0x20, manyEntries)},
      {"update beyond entry 255", chunk(0x21, nineWords)},
  };
  for (const Case& c : cases) {
    ReferenceDecoder d(8, 8);
    EXPECT_FALSE(d.decodeStrip(kIntraStrip, c.strip)) << c.name;
  }
  EXPECT_FALSE(ReferenceDecoder(6, 8).decodeStrip(kIntraStrip, books));
  EXPECT_FALSE(ReferenceDecoder(248, 8).decodeStrip(kIntraStrip, books));
  EXPECT_TRUE(ReferenceDecoder(-4, 8).picture().empty());
}

TEST(ReferenceDecoder, RandomBytesNeverEscapeTheBuffers) {
  std::mt19937 random(7);
  const std::uint8_t types[] = {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x30, 0x31, 0x32};
  ReferenceDecoder d(16, 16);
  for (int round = 0; round < 3000; ++round) {
    Bytes strip(random() % 300);
    for (auto& b : strip) b = static_cast<std::uint8_t>(random());
    if (strip.size() >= 4) {
      strip[0] = types[random() % std::size(types)];
      strip[1] = 0;
      strip[2] = 0;
      strip[3] = static_cast<std::uint8_t>(4 + random() % 300);
    }
    d.decodeStrip(kInterStrip, strip);
    d.decodeFrame(strip);
  }
  EXPECT_EQ(d.picture().size(), 256u);
}

TEST(ReferenceDecoder, WholeFramesAreCheckedBeforeDecoding) {
  const Bytes chunks = concat({standardBooks(), chunk(0x32, {5})});
  ReferenceDecoder d(4, 4);
  ASSERT_TRUE(d.decodeFrame(test::frame(4, 4, kIntraStrip, chunks)));
  expectV1Block(d, 0, 0, 5);
  Bytes longer = test::frame(4, 4, kIntraStrip, chunks);
  longer[3] += 1;
  Bytes twoStrips = test::frame(4, 4, kIntraStrip, chunks);
  twoStrips[9] = 2;
  Bytes offset = test::frame(4, 4, kIntraStrip, chunks);
  offset[15] = 4;
  EXPECT_FALSE(d.decodeFrame(longer));
  EXPECT_FALSE(d.decodeFrame(twoStrips));
  EXPECT_FALSE(d.decodeFrame(offset));
  EXPECT_FALSE(d.decodeFrame(test::frame(8, 4, kIntraStrip, chunks)));
  EXPECT_FALSE(d.decodeFrame(Bytes(21, 0)));
}

// Random frames of every chunk kind, decoded by FFmpeg and by us. With U never
// odd and positive the two colour rules agree exactly.
TEST(ReferenceDecoder, AgreesWithFfmpegOnRandomFrames) {
  constexpr int kWidth = 48, kHeight = 32, kBlocks = kWidth * kHeight / 16;
  std::mt19937 random(11);
  auto byte = [&] { return static_cast<std::uint8_t>(random()); };
  auto entries = [&](int count, bool grey) {
    Bytes out;
    for (int i = 0; i < count; ++i) {
      for (int j = 0; j < 4; ++j) out.push_back(byte());
      if (!grey) {
        std::int8_t u = static_cast<std::int8_t>(byte());
        if (u > 0 && (u & 1)) --u;
        out.push_back(static_cast<std::uint8_t>(u));
        out.push_back(byte());
      }
    }
    return out;
  };
  auto partial = [&](bool grey) {
    Bytes out;
    for (int word = 0; word < 8; ++word) {
      const std::uint32_t flags = random() & random();
      test::putBig32(out, flags);
      for (int bit = 31; bit >= 0; --bit)
        if (flags >> bit & 1) { Bytes e = entries(1, grey); out.insert(out.end(), e.begin(), e.end()); }
    }
    return out;
  };
  // kind per block: 0 skip (inter only), 1 V1, 2 V4.
  auto vectors = [&](bool inter) {
    Bytes out;
    test::FlagWriter flags(out);
    for (int block = 0; block < kBlocks; ++block) {
      const int kind = inter ? static_cast<int>(random() % 3) : 1 + static_cast<int>(random() % 2);
      if (inter) flags.bit(kind != 0);
      if (kind == 0) continue;
      flags.bit(kind == 2);
      for (int k = 0; k < (kind == 2 ? 4 : 1); ++k) out.push_back(byte());
    }
    return out;
  };
  ReferenceDecoder ours(kWidth, kHeight);
  test::FfmpegCinepakDecoder theirs(kWidth, kHeight);
  for (int n = 0; n < 12; ++n) {
    const bool grey = n % 4 == 3;
    Bytes chunks;
    if (n == 0 || n % 3 == 0) {
      chunks = concat({chunk(grey ? 0x24 : 0x20, entries(256, grey)), chunk(grey ? 0x26 : 0x22, entries(256, grey)),
                       chunk(n % 2 ? 0x32 : 0x30, n % 2 ? Bytes(kBlocks, byte()) : vectors(false))});
    } else {
      chunks = concat({chunk(grey ? 0x25 : 0x21, partial(grey)), chunk(grey ? 0x27 : 0x23, partial(grey)),
                       chunk(0x31, vectors(true))});
    }
    const Bytes frame = test::frame(kWidth, kHeight, n % 3 == 0 ? kIntraStrip : kInterStrip, chunks);
    ASSERT_TRUE(ours.decodeFrame(frame)) << n;
    ASSERT_TRUE(theirs.decode(frame)) << n;
    for (int i = 0; i < kWidth * kHeight; ++i) {
      const auto& p = theirs.picture()[i];
      const ConsolePixel expected = static_cast<ConsolePixel>(p.red >> 3 | (p.green >> 3) << 5 | (p.blue >> 3) << 10);
      ASSERT_EQ(ours.picture()[i], expected) << "frame " << n << " pixel " << i;
    }
  }
}

}  // namespace
}  // namespace zepra
