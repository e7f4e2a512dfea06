# Turns the player's binary image into a C++ byte array.
# cmake -DINPUT=player.gba -DOUTPUT=player_image_data.cpp -P embed_image.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.part" "// Generated from the cross-built player image.
#include <cstddef>
#include <cstdint>

namespace zepra::detail {
extern const std::size_t kPlayerImageSize = ${size};
alignas(4) extern const std::uint8_t kPlayerImageBytes[${size}] = {
${bytes}
};
}  // namespace zepra::detail
")
file(RENAME "${OUTPUT}.part" "${OUTPUT}")
