#pragma once
// The console player program that every output image starts with, built by
// the cross compiler and embedded into the converter.

#include <cstdint>
#include <span>

namespace zepra {

// The player's bytes; empty when the converter was built without them.
std::span<const std::uint8_t> playerImage();

}  // namespace zepra
