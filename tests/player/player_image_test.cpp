// The embedded player image: a cartridge program whose header the ROM
// builder and the console's loaders rely on.

#include "player/player_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(PlayerImage, CartridgeHeaderIsExactly192BytesAsLoadersExpect) {
  const auto image = zepra::playerImage();
  ASSERT_GT(image.size(), 0xC0u);
  // ARM branch at 0 (condition "always", opcode 0xA) to 0xC0: offset (0xC0 - 8) / 4.
  EXPECT_EQ(image[3], 0xEA);
  const std::uint32_t branch = image[0] | image[1] << 8 | image[2] << 16 | image[3] << 24;
  EXPECT_EQ((branch & 0x00FFFFFFu) * 4 + 8, 0xC0u);
  for (std::size_t i = 4; i < 0xA0; ++i) EXPECT_EQ(image[i], 0) << "logo byte " << i;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[0xA0]), 12), "Vornaquistel");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[0xAC]), 4), "VRNQ");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&image[0xB0]), 2), "ZK");
  EXPECT_EQ(image[0xB2], 0x96);
  for (std::size_t i = 0xB3; i < 0xC0; ++i) EXPECT_EQ(image[i], 0) << "header byte " << i;
}

TEST(PlayerImage, EndsOnAWordBoundarySoTheStreamBehindItIsAligned) {
  const auto image = zepra::playerImage();
  EXPECT_EQ(image.size() % 4, 0u);
  // Small enough to leave the stream nearly the whole cartridge.
  EXPECT_LT(image.size(), 64u * 1024);
}

}  // namespace
