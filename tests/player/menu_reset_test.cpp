// L + R + Start + Select: the player leaves for the flash cartridge's menu by
// its return-to-menu protocol, checked write by write, then enters the
// firmware's reset path.

#include <gtest/gtest.h>

#include "player/host/console_emulator.h"
#include "tests/player/player_probe.h"
#include "tests/player/stream_builder.h"

namespace zepra::test {
namespace {

// The protocol: 16-bit writes into cartridge space, some repeated.
std::vector<CartridgeWrite> returnToMenuWrites() {
  struct Step { std::uint32_t address; std::uint16_t value; int times; };
  const Step steps[] = {
      {0x0930ECA8, 0x5354, 1},   {0x0802468A, 0x1234, 500}, {0x0802468A, 0x5354, 1},
      {0x0802468A, 0x5678, 500}, {0x0930ECA8, 0x5354, 1},   {0x0802468A, 0x5354, 1},
      {0x08ECA800, 0x5678, 1},   {0x080268A0, 0x1234, 1},   {0x0802468A, 0xABCD, 500},
      {0x0930ECA8, 0x5354, 1},   {0x096B592E, 0x0000, 1},   {0x09FE46C8, 0xD234, 1},
      {0x08002B2A, 0x1545, 1},   {0x080248B0, 0xD229, 1},   {0x08044F26, 0x1578, 1},
      {0x09884D26, 0x0000, 1},   {0x09FC8E4A, 0x1558, 1},
  };
  std::vector<CartridgeWrite> writes;
  for (const Step& s : steps) writes.insert(writes.end(), s.times, CartridgeWrite{s.address, s.value, 2});
  return writes;
}

TestStream plainMovie() {
  TestStream stream;
  for (int k = 0; k < 40; ++k) {
    const auto y = static_cast<std::uint8_t>(6 * k);
    Bytes chunks = chunk(0x22, colourEntry(y, y, y, y, 0, 0));
    const Bytes blocks = chunk(0x32, Bytes(60 * 40, 0));
    chunks.insert(chunks.end(), blocks.begin(), blocks.end());
    stream.frames.push_back({0x1000, chunks});
  }
  stream.audioBlocks.assign(176 * 90, 0x08);
  return stream;
}

TEST(MenuReset, WritesTheReturnToMenuProtocolThenJumpsToTheFirmware) {
  std::string error;
  auto console = ConsoleEmulator::load(cartridge(plainMovie().bytes()), error);
  ASSERT_NE(console, nullptr) << error;
  console->runRefreshes(10);
  console->recordCartridgeWrites();
  ASSERT_TRUE(console->cartridgeWrites().empty()) << "the player writes to the cartridge while it plays";

  // The keys are seen after a frame; the reset follows at the next refresh.
  const std::uint32_t resetRequested = playerSymbols().at("playbackClock") + 8;
  constexpr std::uint16_t kMenuKeys = kKeyL | kKeyR | kKeyStart | kKeySelect;
  for (int r = 0; r < 10 && console->read32(resetRequested) == 0; ++r) console->runRefresh(kMenuKeys);
  ASSERT_NE(console->read32(resetRequested), 0u) << "the keys were not taken";
  ASSERT_TRUE(console->cartridgeWrites().empty());

  constexpr int kGiveUp = 2'000'000;  // instructions
  int steps = 0;
  while (console->cartridgeWrites().empty() && ++steps < kGiveUp) console->stepInstruction();
  ASSERT_FALSE(console->cartridgeWrites().empty()) << "no write to the cartridge";
  // Interrupts and the display are off before the first write.
  EXPECT_EQ(console->read16(0x04000208), 0u);  // IME
  EXPECT_EQ(console->read16(0x04000200), 0u);  // IE
  EXPECT_EQ(console->read16(0x04000000), 0u);  // DISPCNT
  EXPECT_EQ(console->read16(0x04000102) & 0x80, 0u) << "the sound timer still runs";

  while (console->nextInstruction() != 0x8C && ++steps < kGiveUp) console->stepInstruction();
  ASSERT_EQ(console->nextInstruction(), 0x8Cu) << "never reached the firmware's reset path";
  EXPECT_EQ(console->readRegister("cpsr") & 0x20, 0u) << "not in the 32-bit instruction set";
  EXPECT_EQ(console->readRegister("sp"), 0x03007F00u);

  const std::vector<CartridgeWrite> want = returnToMenuWrites();
  const std::vector<CartridgeWrite>& got = console->cartridgeWrites();
  EXPECT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i) {
    ASSERT_EQ(got[i], want[i]) << "write " << i << ": " << got[i].bytes << " bytes of 0x" << std::hex
                               << got[i].value << " at 0x" << got[i].address << ", expected 0x"
                               << want[i].value << " at 0x" << want[i].address;
  }
}

}  // namespace
}  // namespace zepra::test
