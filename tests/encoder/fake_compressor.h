#pragma once
// A compressor double: records every call and answers with a well-formed
// single-strip Cinepak frame unless a test reshapes it.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cinepak/video_compressor.h"

namespace zepra::test {

struct FakeCompressorScript {
  // What the compressor answers.
  bool found = true;
  std::uint32_t outputFormatBytes = 40;
  std::uint32_t maxFrameBytes = 0x10100;
  std::uint32_t quality = 7500;
  std::uint32_t stateBytes = 0;
  std::int32_t framesInfoResult = kIcErrOk;
  std::int32_t beginResult = kIcErrOk;
  std::int32_t compressResult = kIcErrOk;
  std::int32_t endResult = kIcErrOk;
  std::uint32_t frameLength = 64;  // L of every frame
  std::uint16_t stripType = 0x1000;
  // Reshapes frame number lFrameNum after it was built.
  std::function<void(std::int32_t frameNumber, std::vector<std::uint8_t>& frame)> reshape;

  // What it was told.
  std::vector<std::string> calls;
  CompressFramesInfo framesInfo;
  std::vector<std::uint8_t> stateSet;
  std::vector<std::int32_t> frameNumbers;
  std::vector<std::uint32_t> frameSizes;  // dwFrameSize of each call
  std::vector<std::uint32_t> frameFlags;  // dwFlags of each call
  std::vector<std::vector<std::uint8_t>> inputs;
  std::vector<std::vector<std::uint8_t>> references;  // lpPrev of each call
};

CompressorLocator fakeCompressorLocator(std::shared_ptr<FakeCompressorScript> script);

// A single-strip frame of length L for a width x height picture; the strip
// data count up from seed.
std::vector<std::uint8_t> makeCinepakFrame(std::uint32_t length, int width, int height,
                                           std::uint16_t stripType, std::uint8_t seed);

}  // namespace zepra::test
