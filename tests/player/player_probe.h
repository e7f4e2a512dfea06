#pragma once
// Looks inside the running player: its symbols by name, and the cycles each
// frame record's decoding takes.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "player/host/console_emulator.h"

namespace zepra::test {

// The player's global symbols and their addresses.
const std::map<std::string, std::uint32_t>& playerSymbols();

struct FrameCost {
  std::uint64_t decodeCycles;  // entry to return of the record's decoding, interrupts included
  bool late;                   // the frame was due before its decoding ended
};

// Steps the processor through the decoding of the next `frames` records.
std::vector<FrameCost> measureDecoding(ConsoleEmulator& console, int frames);

// Cycles of each of the next `calls` calls of a player function, from its
// entry to its return (interrupts taken meanwhile included).
std::vector<std::uint64_t> measureCalls(ConsoleEmulator& console, const std::string& function, int calls);

}  // namespace zepra::test
