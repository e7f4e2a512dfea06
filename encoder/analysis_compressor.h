#pragma once
// The first pass of a two-pass stream: a compressor that compresses nothing.
// Driven by a StreamEncoder exactly like the real one, so that it sees the
// same frames in the same order, it records what each frame needs
// (frameChange) and answers with the smallest valid frame, an inter frame that
// keeps every block. The stream it leaves behind is thrown away.

#include <vector>

#include "encoder/frame_change.h"

#include "cinepak/video_compressor.h"

namespace zepra {

class AnalysisCompressor final : public VideoCompressor {
 public:
  // changes receives one value per compressed frame, in order.
  AnalysisCompressor(const BitmapInfoHeader& input, std::vector<FrameChange>& changes);

  // A locator for StreamEncoder that makes one writing into changes.
  static CompressorLocator locator(std::vector<FrameChange>& changes);

  std::uint32_t outputFormatSize(const BitmapInfoHeader& input) override;
  std::int32_t getOutputFormat(const BitmapInfoHeader& input, BitmapInfoHeader& output) override;
  std::uint32_t maxFrameSize(const BitmapInfoHeader& input, const BitmapInfoHeader& output) override;
  std::uint32_t defaultQuality() override { return 0; }
  std::int32_t framesInfo(const CompressFramesInfo&) override { return kIcErrOk; }
  std::uint32_t getState(std::span<std::uint8_t>) override { return 0; }
  std::int32_t setState(std::span<const std::uint8_t>) override { return kIcErrOk; }
  std::int32_t begin(const BitmapInfoHeader& input, const BitmapInfoHeader& output) override;
  std::int32_t compress(CompressParams& params) override;
  std::int32_t end() override { return kIcErrOk; }

 private:
  bool sameInput(const BitmapInfoHeader& input) const;

  BitmapInfoHeader input_;
  std::vector<FrameChange>& changes_;
};

}  // namespace zepra
