#include "tests/player/player_probe.h"

#include <gtest/gtest.h>

#include <fstream>

namespace zepra::test {

const std::map<std::string, std::uint32_t>& playerSymbols() {
  static const std::map<std::string, std::uint32_t> symbols = [] {
    std::map<std::string, std::uint32_t> read;
    std::ifstream in(ZEPRA_PLAYER_SYMBOLS);
    std::string address, type, name;
    while (in >> address >> type >> name) read[name] = static_cast<std::uint32_t>(std::stoul(address, nullptr, 16));
    return read;
  }();
  return symbols;
}

std::vector<FrameCost> measureDecoding(ConsoleEmulator& console, int frames) {
  const std::uint32_t decode = playerSymbols().at("decodeFrameRecord");
  const std::uint32_t accumulator = playerSymbols().at("playbackClock") + 4;
  constexpr std::uint64_t kGiveUp = 50'000'000;  // instructions
  std::vector<FrameCost> costs;
  for (int f = 0; f < frames; ++f) {
    std::uint64_t steps = 0;
    while (console.nextInstruction() != decode && ++steps < kGiveUp) console.stepInstruction();
    const std::uint32_t returnTo = console.readRegister("lr") & ~1u;
    const std::uint64_t start = console.cycles();
    while (console.nextInstruction() != returnTo && ++steps < kGiveUp) console.stepInstruction();
    if (steps >= kGiveUp) {
      ADD_FAILURE() << "frame " << f << ": the decoder never ran or never returned";
      break;
    }
    costs.push_back({console.cycles() - start, console.read32(accumulator) >= 0x10000});
  }
  return costs;
}

}  // namespace zepra::test
