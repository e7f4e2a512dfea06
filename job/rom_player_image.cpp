#include "job/rom_builder.h"
#include "player/player_image.h"

namespace zepra {

bool buildRomImage(const std::string& outputPath, std::span<const std::uint8_t> stream,
                   const std::string& romTitle, const ReplaceGate& mayReplace) {
  return buildRomImage(outputPath, stream, romTitle, playerImage(), mayReplace);
}

}  // namespace zepra
