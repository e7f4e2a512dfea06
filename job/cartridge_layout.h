#pragma once
// What follows the player image in a cartridge: for one video its stream
// unchanged, for several a directory and the streams (format/directory.h).
// Names for the menu are made from file names or the user's text here too.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format/directory.h"

namespace zepra {

// For front ends: how many videos a cartridge's menu holds, and how many
// characters of a name a menu line shows.
inline constexpr int kMaxCartridgeVideos = static_cast<int>(kMaxDirectoryEntries);
inline constexpr int kMaxMenuNameChars = static_cast<int>(kDirectoryNameChars);

struct CartridgeVideo {
  std::string name;  // as the menu shows it (see menuName)
  std::span<const std::uint8_t> stream;
};

// The name a menu line can show: every character the console's font lacks
// (anything but printable ASCII; a UTF-8 sequence counts as one character)
// becomes '?', and the result is cut to the menu's 30 characters.
std::string menuName(std::string_view text);

// The menu name of an input: its file name without the extension, with the
// characters the console lacks replaced and cut to what a menu line shows.
std::string defaultVideoName(const std::string& inputPath);

// The video's length in whole seconds (rounded), from its stream header;
// 0 for a stream too short to have one.
std::uint32_t streamSeconds(std::span<const std::uint8_t> stream);

// Why a cartridge cannot hold `count` videos (none, or more than its menu
// holds); empty when it can.
std::string videoCountProblem(std::size_t count);

// The most 0xFF bytes that can come before a stream of several, to align it.
inline constexpr std::uint64_t kMaxStreamGap = ZEPRA_DIRECTORY_STREAM_ALIGNMENT - 1;

// The directory's size in a cartridge of `count` videos; 0 for one video,
// whose stream follows the player directly.
std::uint64_t directoryBytes(std::size_t count);

// Where the next stream of a cartridge of `count` videos starts, counted
// from the image's first byte, when the streams before it have these
// lengths (none: where the first starts).
std::uint64_t nextStreamOffset(std::uint64_t playerBytes, std::size_t count,
                               std::span<const std::uint64_t> streamsBefore);
// The image's length before its padding: the player, the directory and the
// streams, each where nextStreamOffset puts it.
std::uint64_t cartridgeImageBytes(std::uint64_t playerBytes, std::span<const std::uint64_t> streamBytes);

// The bytes behind a player image of `playerBytes`: one video's stream as it
// is, or the directory and the streams of several. Refuses (nullopt, with
// `error` naming the video and the fault) no videos, more than the menu
// holds, a name the menu cannot show, a stream that is not whole, and a
// cartridge over 32 MiB.
std::optional<std::vector<std::uint8_t>> cartridgeContents(std::size_t playerBytes,
                                                           std::span<const CartridgeVideo> videos,
                                                           std::string& error);

}  // namespace zepra
