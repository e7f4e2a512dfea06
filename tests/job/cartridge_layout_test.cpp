// The contents behind the player image: one video unchanged, several with a
// directory; what the builder refuses, and what the directory checks (the
// ones the console player makes too) reject.

#include "job/cartridge_layout.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "format/directory_check.h"
#include "job/rom_builder.h"

namespace zepra {
namespace {

using Bytes = std::vector<std::uint8_t>;

void appendLe32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A whole stream: `frames` records of `recordBytes`, 30 fps, 240x160, and a
// sound trailer of `blocks` blocks; bytes numbered by `seed`.
Bytes stream(std::uint32_t frames, std::uint32_t recordBytes = 10, std::uint32_t blocks = 3, int seed = 1) {
  Bytes out;
  appendLe32(out, frames);
  appendLe32(out, 32917);
  appendLe32(out, 240 | 160 << 16);
  for (std::uint32_t k = 0; k < frames; ++k) {
    appendLe32(out, recordBytes | (k == 0 ? 0x1000u : 0x1100u) << 16);
    for (std::uint32_t b = 4; b < recordBytes; ++b) out.push_back(static_cast<std::uint8_t>(seed + k + b));
  }
  appendLe32(out, blocks);
  out.resize(out.size() + blocks * 176, static_cast<std::uint8_t>(seed));
  return out;
}

constexpr std::size_t kPlayerBytes = 44964;  // not a multiple of 8: alignment is counted from the image start

std::uint32_t le32(const Bytes& b, std::size_t at) { return zepraLe32(b.data() + at); }

// Player (zeros) + contents, as the console sees the cartridge.
Bytes image(const Bytes& contents) {
  Bytes out;
  out.reserve(kPlayerBytes + contents.size());
  out.resize(kPlayerBytes, 0);
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

TEST(CartridgeLayout, OneVideoIsItsStreamUnchanged) {
  const Bytes s = stream(7, 13);
  std::string error;
  const std::vector<CartridgeVideo> videos = {{"whatever \xC3\xA9 name", s}};
  const auto contents = cartridgeContents(kPlayerBytes, videos, error);
  ASSERT_TRUE(contents) << error;
  EXPECT_EQ(*contents, s);
}

TEST(CartridgeLayout, SeveralVideosGetADirectoryAndAlignedStreams) {
  const std::vector<Bytes> streams = {stream(3, 9, 2, 1), stream(900, 5, 1800, 2), stream(1, 4, 1, 3)};
  const std::vector<CartridgeVideo> videos = {{"First", streams[0]}, {"Second one", streams[1]}, {"3", streams[2]}};
  std::string error;
  const auto contents = cartridgeContents(kPlayerBytes, videos, error);
  ASSERT_TRUE(contents) << error;
  const Bytes cart = image(*contents);

  ASSERT_EQ(zepraDirectoryCount(cart.data(), kPlayerBytes), 3u);
  EXPECT_EQ(le32(cart, kPlayerBytes + ZEPRA_DIRECTORY_IMAGE_BYTES_AT), cart.size());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&cart[kPlayerBytes + ZEPRA_DIRECTORY_SAVE_TYPE_ID_AT])),
            "SRAM_V113");
  // 900 frames at 30 fps: 30.1 s; 3 frames: 0.1 s.
  const std::uint32_t seconds[] = {0, 30, 0};
  for (std::uint32_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(zepraDirectoryEntryValid(cart.data(), kPlayerBytes, i));
    const std::uint8_t* entry = zepraDirectoryEntry(cart.data(), kPlayerBytes, i);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry)), videos[i].name);
    const std::uint32_t offset = zepraLe32(entry + ZEPRA_ENTRY_OFFSET_AT);
    const std::uint32_t length = zepraLe32(entry + ZEPRA_ENTRY_LENGTH_AT);
    EXPECT_EQ(offset % 4, 0u);
    ASSERT_EQ(length, streams[i].size());
    EXPECT_EQ(Bytes(cart.begin() + offset, cart.begin() + offset + length), streams[i]);
    EXPECT_EQ(zepraLe32(entry + ZEPRA_ENTRY_SECONDS_AT), seconds[i]);
  }
}

TEST(CartridgeLayout, RefusesWhatTheMenuOrTheConsoleCannotTake) {
  const Bytes good = stream(2);
  const Bytes truncated(good.begin(), good.end() - 1);
  Bytes trailing = good;
  trailing.push_back(0);
  Bytes oddWidth = good;
  oddWidth[8] = 238;
  struct Case {
    const char* name;
    std::vector<CartridgeVideo> videos;
    const char* errorPart;
  };
  std::vector<CartridgeVideo> tooMany(kMaxDirectoryEntries + 1, CartridgeVideo{"v", good});
  const std::vector<Case> cases = {
      {"no videos", {}, "at least one"},
      {"more than the menu holds", tooMany, "at most 64"},
      {"empty name", {{"a", good}, {"", good}}, "video 2"},
      {"name too long", {{"a", good}, {std::string(31, 'x'), good}}, "printable ASCII"},
      {"name with a character the font lacks", {{"caf\xC3\xA9", good}, {"b", good}}, "video 1"},
      {"truncated stream", {{"a", good}, {"b", truncated}}, "not a whole movie"},
      {"bytes behind the trailer", {{"a", trailing}, {"b", good}}, "video 1"},
      {"picture not of whole blocks", {{"a", good}, {"b", oddWidth}}, "video 2"},
      {"single truncated stream", {{"a", truncated}}, "not a whole movie"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(cartridgeContents(kPlayerBytes, c.videos, error)) << c.name;
    EXPECT_NE(error.find(c.errorPart), std::string::npos) << c.name << ": " << error;
  }
}

TEST(CartridgeLayout, TheWholeImageMustFitThirtyTwoMebibytes) {
  // A second stream that fills the cartridge exactly, then one byte more.
  const Bytes a = stream(1, 4, 40000);
  const std::size_t second = kPlayerBytes + kDirectoryHeaderBytes + 2 * kDirectoryEntryBytes + a.size();
  ASSERT_EQ(second % 4, 0u);
  const std::size_t room = kMaxRomSize - second;
  const auto blocks = static_cast<std::uint32_t>((room - 20) / 176);
  const auto record = static_cast<std::uint32_t>(4 + (room - 20) % 176);
  Bytes b = stream(1, record, blocks);
  ASSERT_EQ(b.size(), room);
  std::string error;
  auto contents = cartridgeContents(kPlayerBytes, std::vector<CartridgeVideo>{{"a", a}, {"b", b}}, error);
  ASSERT_TRUE(contents) << error;
  EXPECT_EQ(kPlayerBytes + contents->size(), kMaxRomSize);
  b = stream(1, record + 1, blocks);
  EXPECT_FALSE(cartridgeContents(kPlayerBytes, std::vector<CartridgeVideo>{{"a", a}, {"b", b}}, error));
  EXPECT_EQ(error, kRomTooBigText);
}

TEST(MenuName, KeepsPrintableAsciiAndReplacesTheRestVisibly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Episode 01 - Pilot", "Episode 01 - Pilot"},
      {"\xC3\x89t\xC3\xA9 \xC3\xA0 Paris", "?t? ? Paris"},           // two-byte characters, one '?' each
      {"Tab\there", "Tab?here"},                                        // control character
      {"\xF0\x9F\x8E\xAC clip", "? clip"},                              // a four-byte character
      {std::string(40, 'n'), std::string(30, 'n')},                     // cut to what a line shows
      {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(menuName(text), expected) << text;
}

// The checks the console player makes before it lists a video: a directory
// that lies gets no further than them.
TEST(DirectoryCheck, RejectsDirectoriesThatPointOutsideTheImageOrNeverEnd) {
  const Bytes streams[] = {stream(4), stream(5)};
  std::string error;
  const auto contents = cartridgeContents(
      kPlayerBytes, std::vector<CartridgeVideo>{{"one", streams[0]}, {"two", streams[1]}}, error);
  ASSERT_TRUE(contents) << error;
  const Bytes good = image(*contents);
  const std::size_t header = kPlayerBytes, entry1 = header + kDirectoryHeaderBytes + kDirectoryEntryBytes;
  auto put32 = [](Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  struct Case {
    const char* name;
    std::function<void(Bytes&)> spoil;
    std::uint32_t count;     // what zepraDirectoryCount says
    bool secondValid;        // whether entry 1 is still listed
  };
  const std::uint32_t imageBytes = static_cast<std::uint32_t>(good.size());
  const std::vector<Case> cases = {
      {"intact", [](Bytes&) {}, 2, true},
      {"offset past the image", [&](Bytes& b) { put32(b, entry1 + 32, imageBytes + 4); }, 2, false},
      {"length past the image", [&](Bytes& b) { put32(b, entry1 + 36, imageBytes); }, 2, false},
      {"offset wraps around", [&](Bytes& b) { put32(b, entry1 + 32, 0xFFFFFFFC); }, 2, false},
      {"stream inside the directory", [&](Bytes& b) { put32(b, entry1 + 32, static_cast<std::uint32_t>(header)); }, 2, false},
      {"unaligned stream", [&](Bytes& b) { put32(b, entry1 + 32, zepraLe32(&b[entry1 + 32]) + 2); }, 2, false},
      {"length shorter than the stream", [&](Bytes& b) { put32(b, entry1 + 36, zepraLe32(&b[entry1 + 36]) - 1); }, 2, false},
      {"name without an end", [&](Bytes& b) { std::fill_n(b.begin() + entry1, 32, 'x'); }, 2, false},
      {"count 0", [&](Bytes& b) { b[header + 6] = 0; b[header + 7] = 0; }, 0, false},
      {"count of thousands", [&](Bytes& b) { b[header + 6] = 0x88; b[header + 7] = 0x13; }, 0, false},
      {"entries past the image", [&](Bytes& b) { put32(b, header + 8, static_cast<std::uint32_t>(header + 40)); }, 0, false},
      {"image over 32 MiB", [&](Bytes& b) { put32(b, header + 8, kMaxRomSize + 4); }, 0, false},
      {"wrong magic", [&](Bytes& b) { b[header] ^= 1; }, 0, false},
      {"wrong version", [&](Bytes& b) { b[header + 4] = 2; }, 0, false},
  };
  for (const Case& c : cases) {
    Bytes spoilt = good;
    c.spoil(spoilt);
    const std::uint32_t count = zepraDirectoryCount(spoilt.data(), kPlayerBytes);
    EXPECT_EQ(count, c.count) << c.name;
    if (count == 0) continue;
    EXPECT_TRUE(zepraDirectoryEntryValid(spoilt.data(), kPlayerBytes, 0)) << c.name;
    EXPECT_EQ(zepraDirectoryEntryValid(spoilt.data(), kPlayerBytes, 1) != 0, c.secondValid) << c.name;
  }
}

}  // namespace
}  // namespace zepra
