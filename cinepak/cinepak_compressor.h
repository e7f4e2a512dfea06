#pragma once
// Our Cinepak compressor behind the VideoCompressor calls. It takes 24-bit
// BI_RGB bottom-up frames whose sides are non-zero multiples of 4 and fit the
// console's 240 x 160 screen, and produces single-strip Cinepak frames: frame
// 0 (and any frame that does not follow the previous one) intra-coded, all
// others inter-coded against the picture the player shows.

#include "cinepak/frame_encoder.h"
#include "cinepak/price_memory.h"
#include "cinepak/source_frame.h"
#include "cinepak/video_compressor.h"

namespace zepra {

// ICCOMPRESS flag asking for a key frame; AVI index flag reported for one.
inline constexpr std::uint32_t kCompressKeyFrame = 0x00000001;
inline constexpr std::uint32_t kAviKeyFrame = 0x00000010;
// Size of the state block (getState/setState): a tag, the training effort
// and the price memory (a float, little-endian). A session begun after
// setState starts with that memory; one begun without starts with none.
inline constexpr std::uint32_t kStateSize = 12;

// Moves a state block's price memory on by `frames` frames held at the
// default quality's floor: the state of a stream that went on that long
// through calm pictures. False (nothing changed) for a block that is not ours.
bool passFramesAtFloor(std::span<std::uint8_t> state, std::uint32_t frames);

// Whether a frame is coded intra: the first, one that does not follow the
// last one compressed (nextFrame: the number that would), which cannot refer
// to it, and one asked to be a key frame. The two-pass analysis decides alike.
inline bool codedIntra(const CompressParams& params, std::int32_t nextFrame) {
  return params.lFrameNum == 0 || params.lFrameNum != nextFrame || (params.dwFlags & kCompressKeyFrame) != 0;
}

class CinepakCompressor final : public VideoCompressor {
 public:
  static bool acceptsInput(const BitmapInfoHeader& input);
  explicit CinepakCompressor(const BitmapInfoHeader& input);

  std::uint32_t outputFormatSize(const BitmapInfoHeader& input) override;
  std::int32_t getOutputFormat(const BitmapInfoHeader& input, BitmapInfoHeader& output) override;
  std::uint32_t maxFrameSize(const BitmapInfoHeader& input, const BitmapInfoHeader& output) override;
  std::uint32_t defaultQuality() override;
  std::int32_t framesInfo(const CompressFramesInfo& info) override;
  std::uint32_t getState(std::span<std::uint8_t> buffer) override;
  std::int32_t setState(std::span<const std::uint8_t> state) override;
  std::int32_t begin(const BitmapInfoHeader& input, const BitmapInfoHeader& output) override;
  std::int32_t compress(CompressParams& params) override;
  std::int32_t end() override;

 private:
  bool sameInput(const BitmapInfoHeader& input) const;
  std::size_t frameShare() const;

  BitmapInfoHeader input_;
  EncoderEffort effort_;
  std::int32_t dataRate_ = 0;  // bytes per second, 0 when unknown
  std::uint32_t rate_ = 0;
  std::uint32_t scale_ = 0;
  bool begun_ = false;
  std::int32_t nextFrame_ = 0;
  SourceFrame source_;
  FrameEncoder encoder_;
  PriceMemory prices_;
  bool pricesGiven_ = false;  // setState gave the next session its price memory
};

}  // namespace zepra
