#include "encoder/analysis_compressor.h"

#include <algorithm>

#include "encoder/frame_change.h"
#include "format/stream_layout.h"

namespace zepra {

namespace {

constexpr std::uint32_t kEmptyFrameBytes = ZEPRA_CINEPAK_FRAME_HEADER_BYTES + ZEPRA_CINEPAK_STRIP_HEADER_BYTES;

void putBigEndian16(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 8);
  out[1] = static_cast<std::uint8_t>(value);
}

}  // namespace

AnalysisCompressor::AnalysisCompressor(const BitmapInfoHeader& input, std::vector<FrameChange>& changes)
    : input_(input), changes_(changes) {}

CompressorLocator AnalysisCompressor::locator(std::vector<FrameChange>& changes) {
  return [&changes](const BitmapInfoHeader& input) -> std::unique_ptr<VideoCompressor> {
    if (input.biBitCount != 24 || input.biWidth <= 0 || input.biHeight <= 0 || input.biWidth % 4 != 0 ||
        input.biHeight % 4 != 0)
      return nullptr;
    return std::make_unique<AnalysisCompressor>(input, changes);
  };
}

bool AnalysisCompressor::sameInput(const BitmapInfoHeader& input) const {
  return input.biWidth == input_.biWidth && input.biHeight == input_.biHeight && input.biBitCount == 24;
}

std::uint32_t AnalysisCompressor::outputFormatSize(const BitmapInfoHeader& input) {
  return sameInput(input) ? sizeof(BitmapInfoHeader) : 0;
}

std::int32_t AnalysisCompressor::getOutputFormat(const BitmapInfoHeader& input, BitmapInfoHeader& output) {
  if (!sameInput(input)) return kIcErrBadFormat;
  output = input;
  output.biCompression = kFourccCvid;
  output.biSizeImage = kEmptyFrameBytes;
  return kIcErrOk;
}

std::uint32_t AnalysisCompressor::maxFrameSize(const BitmapInfoHeader& input, const BitmapInfoHeader&) {
  return sameInput(input) ? kEmptyFrameBytes : 0;
}

std::int32_t AnalysisCompressor::begin(const BitmapInfoHeader& input, const BitmapInfoHeader&) {
  return sameInput(input) ? kIcErrOk : kIcErrBadFormat;
}

std::int32_t AnalysisCompressor::compress(CompressParams& params) {
  if (params.lpInput == nullptr || params.lpOutput == nullptr || params.lpbiOutput == nullptr)
    return kIcErrBadParam;
  const bool first = params.lFrameNum == 0 || params.lpPrev == nullptr;
  changes_.push_back(frameChange(params.lpInput, first ? nullptr : params.lpPrev, input_.biWidth, input_.biHeight));

  // Frame header: flags, 24-bit length, size, one strip; then the strip header.
  std::uint8_t* out = params.lpOutput;
  std::fill(out, out + kEmptyFrameBytes, std::uint8_t{0});
  out[1] = 0;
  putBigEndian16(out + 2, kEmptyFrameBytes);
  putBigEndian16(out + 4, static_cast<std::uint32_t>(input_.biWidth));
  putBigEndian16(out + 6, static_cast<std::uint32_t>(input_.biHeight));
  putBigEndian16(out + 8, 1);
  putBigEndian16(out + 10, kInterStrip);
  putBigEndian16(out + 12, ZEPRA_CINEPAK_STRIP_HEADER_BYTES);
  putBigEndian16(out + 18, static_cast<std::uint32_t>(input_.biHeight));
  putBigEndian16(out + 20, static_cast<std::uint32_t>(input_.biWidth));
  params.lpbiOutput->biSizeImage = kEmptyFrameBytes;
  return kIcErrOk;
}

}  // namespace zepra
