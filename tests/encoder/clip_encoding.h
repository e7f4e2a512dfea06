#pragma once
// A synthetic movie with sound through the real stream encoder, in the order
// a job drives it: name, options, formats, open, sound, frames, close.

#include <cstdint>
#include <string>
#include <vector>

#include "encoder/stream_encoder.h"

namespace zepra::test {

struct ClipToEncode {
  int width = 240;  // decoded frames, 30 a second
  int height = 160;
  int frames = 6;
  int frameRateMode = 0;
  int preFilter = 0;
  int bitrate = 150;
  float gamma = 1.0f;
  std::uint32_t soundRate = 21024;  // mono 16-bit
  double soundSeconds = 1.0;
};

// Decoded frame `index` (bottom-up BGR, rows padded to 4 bytes): a smooth
// colour field with a bright square that moves to the right from frame to
// frame.
std::vector<std::uint8_t> movingSquareFrame(int width, int height, int index);

// A 300 Hz tone that grows louder, as 16-bit little-endian mono PCM.
std::vector<std::uint8_t> risingTone(std::uint32_t rate, double seconds);

// Encodes the clip into a stream file at `path`. The encoder keeps what it
// made of the clip (size, trims, frame selection) for the caller; any failing
// step is reported as a test failure and ends the run with false.
bool encodeClip(StreamEncoder& encoder, const ClipToEncode& clip, const std::string& path);

}  // namespace zepra::test
