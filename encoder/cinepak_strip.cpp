#include "encoder/cinepak_strip.h"

#include "format/cinepak.h"

namespace zepra {

namespace {

std::uint32_t bigEndian16(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }
std::uint32_t bigEndian24(const std::uint8_t* p) { return (p[0] << 16) | (p[1] << 8) | p[2]; }

constexpr std::size_t kHeaders = ZEPRA_CINEPAK_FRAME_HEADER_BYTES + ZEPRA_CINEPAK_STRIP_HEADER_BYTES;

}  // namespace

std::optional<CinepakStrip> findSingleStrip(std::span<const std::uint8_t> frame, int width,
                                            int height) {
  if (frame.size() < kHeaders) return std::nullopt;
  const std::uint8_t* p = frame.data();
  const std::uint32_t length = bigEndian24(p + 1);
  const std::uint32_t stripSize = bigEndian16(p + 12);
  const bool valid = length >= 6 && length <= ZEPRA_MAX_CINEPAK_FRAME_BYTES &&
                     length <= frame.size() &&
                     bigEndian16(p + 4) == static_cast<std::uint32_t>(width) &&
                     bigEndian16(p + 6) == static_cast<std::uint32_t>(height) &&
                     bigEndian16(p + 8) == 1 &&
                     stripSize == length - ZEPRA_CINEPAK_FRAME_HEADER_BYTES &&
                     stripSize >= ZEPRA_CINEPAK_STRIP_HEADER_BYTES &&  // else lengths are meaningless
                     bigEndian16(p + 14) == 0 && bigEndian16(p + 16) == 0 &&
                     bigEndian16(p + 18) == static_cast<std::uint32_t>(height) &&
                     bigEndian16(p + 20) == static_cast<std::uint32_t>(width);
  if (!valid) return std::nullopt;
  return CinepakStrip{static_cast<std::uint16_t>(bigEndian16(p + 10)),
                      frame.subspan(kHeaders, stripSize - ZEPRA_CINEPAK_STRIP_HEADER_BYTES)};
}

}  // namespace zepra
