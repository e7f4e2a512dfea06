#pragma once
// The first pass of a two-pass stream: a compressor that measures what each
// frame needs and writes nothing of use. Driven by a StreamEncoder exactly
// like the real one, it sees the same frames in the same order (pacing,
// repeats and the frame-rate reduction included).
//
// Each frame is compressed for real, by the same frame encoder as the second
// pass, but only a sample of its 4 x 4 blocks: every third block of every
// third block row, a mosaic of whole blocks (Cinepak codes a block without
// regard to its neighbours), with the codebooks cut in the same proportion so
// that entries run short where they would for the whole picture. Several
// such encoders run side by side, each at one of the prices of kNeedPrices
// and with no byte limit, so each frame's need is known as a curve: what the
// whole frame is expected to take at each price, and the error the picture
// is left with (each encoder's own reconstruction against the mosaic). A
// frame asked to be a key frame is coded intra, as the second pass codes it.
// A few frames are also coded whole by the real compressor, to tell how far
// the mosaic's errors are from the real ones in each scene
// (error_calibration.h). The answer to the stream encoder is the smallest
// valid frame, an empty strip of the kind the frame was coded as, so the
// stream counts its key frames as the second pass's will; the stream is
// thrown away.

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "cinepak/frame_encoder.h"
#include "cinepak/source_frame.h"
#include "cinepak/video_compressor.h"
#include "encoder/budget_plan.h"

namespace zepra {

class AnalysisCompressor final : public VideoCompressor {
 public:
  // needs receives one measure per compressed frame, in order.
  AnalysisCompressor(const BitmapInfoHeader& input, std::vector<FrameAnalysis>& needs);

  // A locator for StreamEncoder that makes one writing into needs.
  static CompressorLocator locator(std::vector<FrameAnalysis>& needs);

  std::uint32_t outputFormatSize(const BitmapInfoHeader& input) override;
  std::int32_t getOutputFormat(const BitmapInfoHeader& input, BitmapInfoHeader& output) override;
  std::uint32_t maxFrameSize(const BitmapInfoHeader& input, const BitmapInfoHeader& output) override;
  std::uint32_t defaultQuality() override { return kDefaultQuality; }
  std::int32_t framesInfo(const CompressFramesInfo& info) override;
  std::uint32_t getState(std::span<std::uint8_t>) override { return 0; }
  std::int32_t setState(std::span<const std::uint8_t>) override { return kIcErrOk; }
  std::int32_t begin(const BitmapInfoHeader& input, const BitmapInfoHeader& output) override;
  std::int32_t compress(CompressParams& params) override;
  std::int32_t end() override { return kIcErrOk; }

 private:
  bool sameInput(const BitmapInfoHeader& input) const;
  // Copies the sampled blocks of a full frame into mosaic_.
  void sample(const std::uint8_t* frame);
  // Mean squared error per pixel and channel of what an encoder's player
  // shows against mosaic_, in 8-bit RGB.
  double shownError(const FrameEncoder& encoder) const;
  // Codes the whole frame with the real compressor; its bytes and the error
  // it is left with go to `analysis` unless that is null.
  void codeWhole(const std::uint8_t* frame, bool intra, FrameAnalysis* analysis);

  BitmapInfoHeader input_;
  std::vector<FrameAnalysis>& needs_;
  int mosaicWidth_ = 0;
  int mosaicHeight_ = 0;
  double blockRatio_ = 1.0;  // blocks of the frame per block of the mosaic
  std::vector<std::uint8_t> mosaic_;
  std::vector<std::uint8_t> mosaicFrame_;  // the mosaic compressed
  SourceFrame source_;
  std::array<std::unique_ptr<FrameEncoder>, kNeedPrices.size()> encoders_;
  std::int32_t nextFrame_ = 0;
  // The real compressor on whole frames, and the frames it coded.
  FrameEncoder whole_{1};
  SourceFrame wholeSource_;
  std::vector<std::uint8_t> wholeFrame_;
  std::size_t share_ = 0;        // a frame's share of the byte rate (0: unknown)
  double price_ = -1.0;          // where the frames so far would take their share (-1: no frame yet)
  bool wholeNext_ = false;       // the next frame is coded whole and measured
  std::int32_t sinceWhole_ = 0;  // frames since the last one measured
};

}  // namespace zepra
