#pragma once
// Writes the cartridge image: the player image, the stream, 0xFF padding to a
// multiple of 32 KiB, and the title in the cartridge header.

#include <cstdint>
#include <span>
#include <string>

namespace zepra {

inline constexpr std::uint32_t kMaxRomSize = 0x2000000;  // 32 MiB, image + stream
inline constexpr std::uint32_t kRomAlignment = 0x8000;
inline constexpr std::uint32_t kRomTitleOffset = 0xA0;
inline constexpr std::uint32_t kRomTitleLength = 12;
// lastErrorText of an image that would pass kMaxRomSize.
inline constexpr const char* kRomTooBigText = "ROM is bigger than 32MB(256Mbit)";

// True when the whole image was written. On failure lastErrorText says why,
// and whatever stood at outputPath before is left as it was.
bool buildRomImage(const std::string& outputPath, std::span<const std::uint8_t> stream,
                   const std::string& romTitle);
// The same with a given player image (an empty one counts as missing).
bool buildRomImage(const std::string& outputPath, std::span<const std::uint8_t> stream,
                   const std::string& romTitle, std::span<const std::uint8_t> playerImage);

}  // namespace zepra
