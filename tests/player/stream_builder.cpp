#include "tests/player/stream_builder.h"

#include "player/host/console_emulator.h"
#include "job/cartridge_layout.h"
#include "player/player_image.h"

#include <gtest/gtest.h>

namespace zepra::test {

namespace {
void appendLittleEndian32(Bytes& out, std::uint32_t word) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
}
}  // namespace

void appendBigEndian32(Bytes& out, std::uint32_t word) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
}

Bytes chunk(std::uint8_t type, const Bytes& payload, std::uint8_t secondType) {
  const std::size_t size = payload.size() + 4;
  Bytes out = {type, secondType, static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes colourEntry(std::uint8_t y0, std::uint8_t y1, std::uint8_t y2, std::uint8_t y3, std::int8_t u,
                  std::int8_t v) {
  return {y0, y1, y2, y3, static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(v)};
}

Bytes TestStream::bytes() const {
  Bytes out;
  appendLittleEndian32(out, static_cast<std::uint32_t>(frames.size()));
  appendLittleEndian32(out, playbackStep);
  appendLittleEndian32(out, static_cast<std::uint32_t>(width | height << 16));
  for (const FrameRecord& f : frames) {
    appendLittleEndian32(out, static_cast<std::uint32_t>(f.chunks.size() + 4) | std::uint32_t{f.stripType} << 16);
    out.insert(out.end(), f.chunks.begin(), f.chunks.end());
  }
  appendLittleEndian32(out, blockCount());
  out.insert(out.end(), audioBlocks.begin(), audioBlocks.end());
  return out;
}

Bytes cartridge(std::span<const std::uint8_t> stream) {
  const auto player = playerImage();
  Bytes out(player.begin(), player.end());
  out.insert(out.end(), stream.begin(), stream.end());
  out.resize((out.size() + 0x7FFF) / 0x8000 * 0x8000, 0xFF);
  return out;
}

Bytes menuCartridge(const std::vector<std::pair<std::string, Bytes>>& videos) {
  std::vector<CartridgeVideo> list;
  for (const auto& [name, stream] : videos) list.push_back({name, stream});
  std::string error;
  const auto contents = cartridgeContents(playerImage().size(), list, error);
  if (!contents) {
    ADD_FAILURE() << "the cartridge was refused: " << error;
    return {};
  }
  return cartridge(*contents);
}

std::vector<std::vector<std::uint16_t>> referencePictures(const TestStream& stream, int overrunFrame) {
  ReferenceDecoder decoder(stream.width, stream.height);
  std::vector<std::vector<std::uint16_t>> pictures;
  for (const FrameRecord& f : stream.frames) {
    const bool overrun = static_cast<int>(pictures.size()) == overrunFrame;
    if (decoder.decodeStrip(f.stripType, f.chunks) == overrun)
      ADD_FAILURE() << "the reference decoder " << (overrun ? "accepted" : "refused") << " frame " << pictures.size();
    pictures.emplace_back(decoder.picture().begin(), decoder.picture().end());
  }
  return pictures;
}

std::vector<std::uint16_t> centredScreen(std::span<const std::uint16_t> picture, int width, int height) {
  std::vector<std::uint16_t> screen(kScreenWidth * kScreenHeight, 0);
  const int left = (kScreenWidth - width) / 2, top = (kScreenHeight - height) / 2;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) screen[(top + y) * kScreenWidth + left + x] = picture[y * width + x];
  return screen;
}

}  // namespace zepra::test
