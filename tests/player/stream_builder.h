#pragma once
// Builds streams by hand for the emulator tests: chunks, frame records, the
// audio trailer, and the cartridge image the ROM builder would write.

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cinepak/reference_decoder.h"

namespace zepra::test {

using Bytes = std::vector<std::uint8_t>;

// A Cinepak chunk: type, second type byte, big-endian size, payload.
Bytes chunk(std::uint8_t type, const Bytes& payload, std::uint8_t secondType = 0);
Bytes colourEntry(std::uint8_t y0, std::uint8_t y1, std::uint8_t y2, std::uint8_t y3, std::int8_t u,
                  std::int8_t v);
void appendBigEndian32(Bytes& out, std::uint32_t word);

struct FrameRecord {
  std::uint16_t stripType;
  Bytes chunks;
};

struct TestStream {
  int width = 240;
  int height = 160;
  std::uint32_t playbackStep = 0x8000;  // 30 frames per second
  std::vector<FrameRecord> frames;
  Bytes audioBlocks;  // whole 176-byte blocks
  Bytes bytes() const;
  std::uint32_t blockCount() const { return static_cast<std::uint32_t>(audioBlocks.size() / 176); }
};

// Player image + stream + 0xFF padding to a multiple of 32 KiB.
Bytes cartridge(std::span<const std::uint8_t> stream);

// A cartridge of several videos (name, stream) as the converter lays it out:
// player image, directory, streams, padding.
Bytes menuCartridge(const std::vector<std::pair<std::string, Bytes>>& videos);

// The pictures a reference decoder draws for each frame, in order. Every
// frame must decode cleanly except `overrunFrame`, which must report that it
// read past its chunk (its picture is still the one the player draws).
std::vector<std::vector<std::uint16_t>> referencePictures(const TestStream& stream, int overrunFrame = -1);

// The console's full screen for a picture centred on black.
std::vector<std::uint16_t> centredScreen(std::span<const std::uint16_t> picture, int width, int height);

}  // namespace zepra::test
