#pragma once
// Writes the cartridge image: the player image, the stream, 0xFF padding to a
// multiple of 32 KiB, and the title in the cartridge header.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace zepra {

inline constexpr std::uint32_t kMaxRomSize = 0x2000000;  // 32 MiB, image + stream
inline constexpr std::uint32_t kRomAlignment = 0x8000;
inline constexpr std::uint32_t kRomTitleOffset = 0xA0;
inline constexpr std::uint32_t kRomTitleLength = 12;
// lastErrorText of an image that would pass kMaxRomSize.
inline constexpr const char* kRomTooBigText = "ROM is bigger than 32MB(256Mbit)";

// Asked once, when the image is complete and just before it replaces the
// output; false abandons it and leaves the output as it was.
using ReplaceGate = std::function<bool()>;

// True when the whole image was written. On failure lastErrorText says why,
// and whatever stood at outputPath before is left as it was. The image is
// written beside its target and renamed over it only when complete.
bool buildRomImage(const std::string& outputPath, std::span<const std::uint8_t> stream,
                   const std::string& romTitle, const ReplaceGate& mayReplace = {});
// The same with a given player image (an empty one counts as missing).
bool buildRomImage(const std::string& outputPath, std::span<const std::uint8_t> stream,
                   const std::string& romTitle, std::span<const std::uint8_t> playerImage,
                   const ReplaceGate& mayReplace = {});

// The file an image named outputPath is written to: a symbolic link is
// followed, through any chain of links, to the file it names, so that the
// link stays and its target gets the image. nullopt, with the reason in
// problem, when the links cannot be followed.
std::optional<std::filesystem::path> outputTarget(const std::string& outputPath, std::string* problem = nullptr);

// Why an image cannot replace what stands at target: a folder, a device, a
// pipe or a socket is never replaced. nullopt for a regular file or none.
std::optional<std::string> unreplaceableOutput(const std::filesystem::path& target);

}  // namespace zepra
