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

namespace zepra {

struct CartridgeVideo {
  std::string name;  // as the menu shows it (see menuName)
  std::span<const std::uint8_t> stream;
};

// The name a menu line can show: every character the console's font lacks
// (anything but printable ASCII; a UTF-8 sequence counts as one character)
// becomes '?', and the result is cut to the menu's 30 characters.
std::string menuName(std::string_view text);

// The video's length in whole seconds (rounded), from its stream header;
// 0 for a stream too short to have one.
std::uint32_t streamSeconds(std::span<const std::uint8_t> stream);

// The bytes behind a player image of `playerBytes`: one video's stream as it
// is, or the directory and the streams of several. Refuses (nullopt, with
// `error` naming the video and the fault) no videos, more than the menu
// holds, a name the menu cannot show, a stream that is not whole, and a
// cartridge over 32 MiB.
std::optional<std::vector<std::uint8_t>> cartridgeContents(std::size_t playerBytes,
                                                           std::span<const CartridgeVideo> videos,
                                                           std::string& error);

}  // namespace zepra
