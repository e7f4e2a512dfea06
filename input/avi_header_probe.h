#pragma once
// Reads the nominal frame rate of the first video stream straight from an AVI
// file's header list, without decoding anything. Any file that is not such an
// AVI simply yields false: the caller then takes the rate from the decoder.

#include <cstdint>
#include <string>

#include "input/riff_reader.h"

namespace zepra {

struct AviStreamRate {
  std::uint32_t rate = 0;    // frames per second = rate / scale
  std::uint32_t scale = 0;
  std::uint32_t length = 0;  // in frames
};

// True when the header holds a video stream; result is left untouched otherwise.
bool probeAviHeader(const std::string& path, AviStreamRate& result);
bool probeAviHeader(ByteSource& source, AviStreamRate& result);

}  // namespace zepra
