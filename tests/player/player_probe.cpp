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

namespace {

// Runs to the next call of the function at `entry` and through it; false
// when it never came or never returned.
bool stepThroughCall(ConsoleEmulator& console, std::uint32_t entry, std::uint64_t& cycles) {
  constexpr std::uint64_t kGiveUp = 50'000'000;  // instructions
  std::uint64_t steps = 0;
  while (console.nextInstruction() != entry && ++steps < kGiveUp) console.stepInstruction();
  const std::uint32_t returnTo = console.readRegister("lr") & ~1u;
  const std::uint64_t start = console.cycles();
  while (console.nextInstruction() != returnTo && ++steps < kGiveUp) console.stepInstruction();
  cycles = console.cycles() - start;
  return steps < kGiveUp;
}

}  // namespace

std::vector<FrameCost> measureDecoding(ConsoleEmulator& console, int frames) {
  const std::uint32_t decode = playerSymbols().at("decodeFrameRecord");
  const std::uint32_t accumulator = playerSymbols().at("playbackClock") + 4;
  std::vector<FrameCost> costs;
  for (int f = 0; f < frames; ++f) {
    std::uint64_t cycles = 0;
    if (!stepThroughCall(console, decode, cycles)) {
      ADD_FAILURE() << "frame " << f << ": the decoder never ran or never returned";
      break;
    }
    costs.push_back({cycles, console.read32(accumulator) >= 0x10000});
  }
  return costs;
}

std::vector<std::uint64_t> measureCalls(ConsoleEmulator& console, const std::string& function, int calls) {
  const std::uint32_t entry = playerSymbols().at(function);
  std::vector<std::uint64_t> costs;
  for (int c = 0; c < calls; ++c) {
    std::uint64_t cycles = 0;
    if (!stepThroughCall(console, entry, cycles)) {
      ADD_FAILURE() << function << " never ran or never returned";
      break;
    }
    costs.push_back(cycles);
  }
  return costs;
}

}  // namespace zepra::test
