#pragma once
// The decoded media formats the decoding graph hands to the encoder, laid out
// like the classic VIDEOINFOHEADER, VIDEOINFOHEADER2 and WAVEFORMATEX records.

#include <cstdint>

#include "cinepak/bitmap_info.h"

namespace zepra {

struct VideoInfoHeader {
  std::int64_t AvgTimePerFrame = 0;  // 100 ns units; 0 = unknown
  BitmapInfoHeader bmiHeader;
};

// Only the display aspect matters to the encoder.
struct VideoInfoHeader2 {
  std::uint32_t dwPictAspectRatioX = 0;
  std::uint32_t dwPictAspectRatioY = 0;
};

inline constexpr std::uint16_t kWaveFormatPcm = 1;

struct WaveFormatEx {
  std::uint16_t wFormatTag = kWaveFormatPcm;
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;  // bytes per frame of all channels
  std::uint16_t wBitsPerSample = 0;
};

}  // namespace zepra
