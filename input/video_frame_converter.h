#pragma once
// Turns decoded pictures into the frames the encoder takes: 24-bit pixels in
// the order blue, green, red, rows bottom-up and padded to 4 bytes, turned
// upright when the file asks for a rotation, at one fixed size for the whole
// stream (a picture that changes size midway is scaled back to it).

#include <cstdint>
#include <vector>

#include "input/ffmpeg_handles.h"

namespace zepra {

// Bytes of one stored row of a 24-bit frame.
constexpr std::uint32_t paddedRowBytes(int width) {
  return (static_cast<std::uint32_t>(width) * 3u + 3u) & ~3u;
}

// The clockwise turn, 0, 90, 180 or 270 degrees, that shows the stream's
// pictures upright according to its display matrix.
int uprightRotation(const AVStream& stream);

class VideoFrameConverter {
 public:
  // width and height of the decoded picture; rotation as uprightRotation.
  void configure(int width, int height, int rotation);

  int outputWidth() const { return rotation_ % 180 ? height_ : width_; }
  int outputHeight() const { return rotation_ % 180 ? width_ : height_; }
  std::uint32_t frameBytes() const { return paddedRowBytes(outputWidth()) * outputHeight(); }

  // Converts one picture into frame (frameBytes() long); false when its
  // pixel format cannot be converted.
  bool convert(const AVFrame& picture, std::uint8_t* frame);

 private:
  bool prepareScaler(const AVFrame& picture);
  void storeUpright(std::uint8_t* frame) const;

  int width_ = 0;
  int height_ = 0;
  int rotation_ = 0;
  std::vector<std::uint8_t> picture_;  // the scaler's top-down output, where needed
  int pictureStride_ = 0;
  ScaleContextPtr scaler_;
  // What the scaler was made for; a change makes a new one.
  int scalerFormat_ = -1, scalerWidth_ = 0, scalerHeight_ = 0, scalerColorSpace_ = -1,
      scalerRange_ = -1;
};

}  // namespace zepra
