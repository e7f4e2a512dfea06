#pragma once
// Reads a stream file back the way the console player walks it: header,
// frameCount records each found by the length in its low 16 bits, trailer.

#include <cstdint>
#include <string>
#include <vector>

namespace zepra::test {

struct StreamRecord {
  std::uint16_t length = 0;
  std::uint16_t stripType = 0;
  std::vector<std::uint8_t> stripData;
};

struct WalkedStream {
  bool complete = false;  // every part was found and nothing is left over
  std::vector<std::uint8_t> bytes;
  std::uint32_t frameCount = 0;
  std::uint32_t playbackStep = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::vector<StreamRecord> records;
  bool hasTrailer = false;
  std::uint32_t blockCount = 0;
  std::vector<std::uint8_t> blocks;
};

std::vector<std::uint8_t> readFileBytes(const std::string& path);
WalkedStream walkStream(const std::string& path);
std::uint32_t littleEndian32(const std::uint8_t* p);

// A fresh path in the test's temporary folder; the file is removed when the
// test ends.
std::string temporaryPath(const std::string& name);

}  // namespace zepra::test
