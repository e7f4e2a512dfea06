#include "player/player_image.h"

#include <cstddef>

namespace zepra {
namespace detail {
extern const std::size_t kPlayerImageSize;
extern const std::uint8_t kPlayerImageBytes[];
}  // namespace detail

std::span<const std::uint8_t> playerImage() {
  return {detail::kPlayerImageBytes, detail::kPlayerImageSize};
}

}  // namespace zepra
