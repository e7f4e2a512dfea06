// The player's picture in the emulator against the reference decoder, pixel
// for pixel, for hand-written frames that exercise every chunk type.

#include <gtest/gtest.h>

#include <algorithm>

#include "player/host/console_emulator.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// 256 colour entries spread over the colour space, shifted by `seed`.
Bytes colourCodebook(int count, int seed) {
  Bytes out;
  for (int i = 0; i < count; ++i) {
    const int k = i + seed;
    const Bytes e = colourEntry(static_cast<std::uint8_t>(k * 7), static_cast<std::uint8_t>(k * 13 + 40),
                                static_cast<std::uint8_t>(255 - k * 5), static_cast<std::uint8_t>(k * 29),
                                static_cast<std::int8_t>(k * 11 - 128), static_cast<std::int8_t>(k * 37));
    out.insert(out.end(), e.begin(), e.end());
  }
  return out;
}

Bytes greyCodebook(int count, int seed) {
  Bytes out;
  for (int i = 0; i < count * 4; ++i) out.push_back(static_cast<std::uint8_t>(i * 3 + seed));
  return out;
}

// Intra blocks: flag words choose V4 (1) or V1 (0) by a pattern.
Bytes intraBlocks(int blocks, std::uint32_t pattern) {
  Bytes out;
  for (int b = 0; b < blocks; b += 32) {
    appendBigEndian32(out, pattern);
    for (int bit = 0; bit < 32 && b + bit < blocks; ++bit) {
      if (pattern & (0x80000000u >> bit)) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>((b + bit) * 5 + i * 67));
      } else {
        out.push_back(static_cast<std::uint8_t>((b + bit) * 3));
      }
    }
  }
  return out;
}

// Inter blocks: every third block kept, the others alternate V1 and V4. A
// flag word is followed by the indices of the blocks whose coding bit it
// holds, so a block whose update bit ends a word has its indices after the
// next word.
Bytes interBlocks(int blocks) {
  Bytes out, pending;
  std::uint32_t word = 0;
  int used = 0;
  auto putBit = [&](bool bit) {
    if (bit) word |= 0x80000000u >> used;
    if (++used == 32) {
      appendBigEndian32(out, word);
      out.insert(out.end(), pending.begin(), pending.end());
      pending.clear();
      word = 0;
      used = 0;
    }
  };
  for (int b = 0; b < blocks; ++b) {
    putBit(b % 3 != 0);
    if (b % 3 == 0) continue;
    const bool v4 = b % 2 == 0;
    for (int i = 0; i < (v4 ? 4 : 1); ++i) pending.push_back(static_cast<std::uint8_t>(b * 7 + i * 41));
    putBit(v4);
  }
  if (used > 0) {
    appendBigEndian32(out, word);
    out.insert(out.end(), pending.begin(), pending.end());
  }
  return out;
}

struct PictureCase {
  const char* name;
  int width, height;
  std::vector<FrameRecord> frames;
  int overrunFrame = -1;  // the frame that reads past a chunk, as the player does
};

void PrintTo(const PictureCase& c, std::ostream* os) { *os << c.name; }

std::vector<PictureCase> pictureCases() {
  std::vector<PictureCase> cases;
  const int fullBlocks = 60 * 40;
  cases.push_back({"ColourV1AndV4Intra", 240, 160,
                   {{0x1000, concat({chunk(0x20, colourCodebook(256, 0)), chunk(0x22, colourCodebook(256, 9)),
                                     chunk(0x30, intraBlocks(fullBlocks, 0xA5C3F00Fu))})}}});
  cases.push_back({"GreyCodebooksAndV1Only", 240, 160,
                   {{0x1000, concat({chunk(0x26, greyCodebook(256, 5)), chunk(0x32, intraBlocks(0, 0)),
                                     chunk(0x32, Bytes(fullBlocks, 0x37))})},
                    {0x1000, concat({chunk(0x24, greyCodebook(256, 1)), chunk(0x30, intraBlocks(fullBlocks, 0xFFFF0000u))})}}});
  {
    // Partial updates of both codebooks, colour and grey, then inter blocks
    // whose kept blocks show the frame before.
    Bytes v4Update, v1Update;
    appendBigEndian32(v4Update, 0x80000001u);
    auto e = colourEntry(255, 255, 255, 255, 0, 0);  // becomes 0x7FFF
    v4Update.insert(v4Update.end(), e.begin(), e.end());
    e = colourEntry(0, 0, 0, 0, -128, -128);  // red 0, blue 0, green 24
    v4Update.insert(v4Update.end(), e.begin(), e.end());
    appendBigEndian32(v1Update, 0x00010000u);
    for (int i = 0; i < 4; ++i) v1Update.push_back(200);
    cases.push_back({"PartialUpdatesAndInterBlocks", 240, 160,
                     {{0x1000, concat({chunk(0x20, colourCodebook(256, 3)), chunk(0x22, colourCodebook(256, 77)),
                                       chunk(0x30, intraBlocks(fullBlocks, 0x0F0F0F0Fu))})},
                      {0x1100, concat({chunk(0x21, v4Update), chunk(0x27, v1Update), chunk(0x31, interBlocks(fullBlocks))})}}});
  }
  {
    // A second type byte other than 0 makes a chunk foreign: it is skipped.
    cases.push_back({"ForeignAndUnknownChunksSkipped", 240, 160,
                     {{0x1000, concat({chunk(0x22, colourCodebook(256, 1)), chunk(0x32, Bytes(fullBlocks, 9)),
                                       chunk(0x22, colourCodebook(256, 50), 1), chunk(0x40, Bytes(10, 1)),
                                       chunk(0x32, Bytes(fullBlocks, 200), 1)})}}});
  }
  {
    // All-skip inter frame: the picture stays; more blocks than the picture
    // has: drawing stops at the last block.
    Bytes allSkip;
    for (int w = 0; w < fullBlocks / 32 + 1; ++w) appendBigEndian32(allSkip, 0);
    cases.push_back({"AllSkipKeepsPictureAndExtraBlocksAreIgnored", 240, 160,
                     {{0x1000, concat({chunk(0x22, colourCodebook(256, 4)), chunk(0x32, Bytes(fullBlocks + 500, 17))})},
                      {0x1100, chunk(0x31, allSkip)}}});
  }
  cases.push_back({"NarrowPictureCentredHorizontally", 212, 160,
                   {{0x1000, concat({chunk(0x20, colourCodebook(256, 2)), chunk(0x22, colourCodebook(256, 8)),
                                     chunk(0x30, intraBlocks(53 * 40, 0x33CC33CCu))})}}});
  cases.push_back({"LowPictureCentredVertically", 240, 136,
                   {{0x1000, concat({chunk(0x20, colourCodebook(256, 6)), chunk(0x22, colourCodebook(256, 1)),
                                     chunk(0x30, intraBlocks(60 * 34, 0xF0F0F0F0u))})}}});
  // An inter chunk whose payload is spent exactly when the last block's
  // coding bit is due: the next flag word and the index come from the bytes
  // after the chunk (the next chunk's header, then its first byte).
  cases.push_back({"InterChunkSpentAtAWordBoundaryReadsOn", 32, 16,
                   {{0x1000, concat({chunk(0x20, colourCodebook(256, 7)), chunk(0x22, colourCodebook(256, 2)),
                                     chunk(0x30, intraBlocks(8 * 4, 0x5A5A5A5Au))})},
                    {0x1100, concat({chunk(0x31, {0, 0, 0, 1}), chunk(0x32, {201})})}},
                   1});
  cases.push_back({"SmallPicture", 32, 16,
                   {{0x1000, concat({chunk(0x20, colourCodebook(256, 7)), chunk(0x22, colourCodebook(256, 2)),
                                     chunk(0x30, intraBlocks(8 * 4, 0x5A5A5A5Au))})}}});
  return cases;
}

class PictureTest : public testing::TestWithParam<PictureCase> {};

TEST_P(PictureTest, ScreenEqualsReferenceDecoderCentredOnBlack) {
  const PictureCase& c = GetParam();
  TestStream stream;
  stream.width = c.width;
  stream.height = c.height;
  stream.playbackStep = 0x10000 / 4;  // each frame stays four refreshes
  stream.frames = c.frames;
  stream.audioBlocks.assign(176 * 4 * c.frames.size() + 176, 0x08);
  const auto pictures = referencePictures(stream, c.overrunFrame);
  for (const auto& picture : pictures)
    ASSERT_NE(std::count(picture.begin(), picture.end(), picture[0]), static_cast<long>(picture.size()))
        << "a plain picture proves little";

  std::string error;
  auto console = ConsoleEmulator::load(cartridge(stream.bytes()), error);
  ASSERT_NE(console, nullptr) << error;
  // Playback starts during refresh 1; frame k is copied at the refresh
  // interrupt that makes it due, 4 (k + 1) refreshes later, and shows from the
  // next refresh on. Look in the middle of its time.
  for (std::size_t k = 0; k < pictures.size(); ++k) {
    const int refresh = 1 + 4 * static_cast<int>(k + 1) + 2;
    console->runRefreshes(refresh - console->refreshes());
    const auto want = centredScreen(pictures[k], c.width, c.height);
    const auto screen = console->screen();
    int wrong = 0, first = -1;
    for (std::size_t i = 0; i < want.size(); ++i)
      if (want[i] != screen[i] && wrong++ == 0) first = static_cast<int>(i);
    EXPECT_EQ(wrong, 0) << "frame " << k << " at refresh " << refresh << ": first difference at x "
                        << first % kScreenWidth << " y " << first / kScreenWidth << ": 0x" << std::hex
                        << screen[first] << " instead of 0x" << want[first];
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, PictureTest, testing::ValuesIn(pictureCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zepra::test
