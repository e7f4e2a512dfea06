#pragma once
// FFmpeg's own Cinepak decoder (libavcodec), as an independent check of the
// frames we write and of the reference decoder's reading of the format.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace zepra::test {

struct FfmpegPixel {
  int red, green, blue;  // 8-bit
};

class FfmpegCinepakDecoder {
 public:
  FfmpegCinepakDecoder(int width, int height);
  ~FfmpegCinepakDecoder();
  // Decodes one whole Cinepak frame; false when FFmpeg reports an error.
  bool decode(std::span<const std::uint8_t> frame);
  // The last picture, row 0 = top.
  const std::vector<FfmpegPixel>& picture() const { return picture_; }

 private:
  struct Context;
  std::unique_ptr<Context> context_;
  int width_;
  int height_;
  std::vector<FfmpegPixel> picture_;
};

}  // namespace zepra::test
