#pragma once
// Prepares decoded frames for the compressor: takes the trim window out of a
// 24-bit bottom-up BGR frame (rows padded to 4 bytes), scales it to the
// output size, applies the brightness table and the colour pre-filter, and
// leaves a frame of outputWidth x outputHeight pixels without row padding.
//
// Shrinking (or keeping the size) on both axes averages each output pixel's
// box of source pixels by the area it covers, then applies the brightness
// table; growing on either axis interpolates both axes bilinearly, corner to
// corner, without the table. All arithmetic is double precision and every
// conversion to an integer truncates, so the bytes are fixed by the inputs.
// configure() computes every weight once per job; convert() allocates nothing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "video/geometry.h"

namespace zepra {

enum PreFilter : int {
  kNoFilter = 0,        // plain rounding, all 8 bits kept
  k15BitFilter = 1,     // rounding, three low bits cleared
  k2xDithering = 2,     // 0.5 or 4.5 added by the parity of x + y, then cleared
  k4xDithering = 3,     // 0.5, 6.5, 4.5 or 2.5 by (x mod 2, y mod 2), then cleared
};

// The exponents the brightness correction takes. A float gamma is compared
// widened, so the float nearest 0.01, which lies just below it, is outside.
inline constexpr double kMinBrightnessGamma = 0.01;
inline constexpr double kMaxBrightnessGamma = 7.99;

// T[i] = 255 x (i / 255)^(1 / gamma), held within 0..255 and truncated.
std::array<std::uint8_t, 256> buildBrightnessTable(float gamma);

// Bytes in a decoded row of width pixels: 3 per pixel, padded to 4.
std::size_t sourceRowBytes(int width);

struct ConversionSetup {
  int sourceWidth = 0;
  int sourceHeight = 0;
  TrimWindow trim;  // inside the frame, leaving at least one pixel
  int outputWidth = 0;
  int outputHeight = 0;
  int preFilter = kNoFilter;
  float gamma = 1.0f;
};

// The window columns that an output column's box covers, counted from the
// window's left edge, with the index of the first of their weights.
struct FrameConverterBox {
  std::uint32_t first = 0;
  std::uint32_t count = 0;
  std::uint32_t weightIndex = 0;
};

class FrameConverter {
 public:
  void configure(const ConversionSetup& setup);

  // source holds sourceFrameBytes() bytes; out receives frameBytes() bytes.
  void convert(const std::uint8_t* source, std::uint8_t* out);
  // The same into frame(), which it returns.
  const std::uint8_t* convert(const std::uint8_t* source);

  std::size_t sourceFrameBytes() const { return sourceFrameBytes_; }
  std::size_t frameBytes() const { return frame_.size(); }
  const std::uint8_t* frame() const { return frame_.data(); }
  bool averagesArea() const { return averagesArea_; }

  // The area path uses AVX2 where the processor has it; both ways give the
  // same bytes. Off: the plain way, for comparison.
  void useWideInstructions(bool use);

 private:
  // The source pixels an output column (or row) draws on: the box's columns
  // with their covered fractions (area path), or the two neighbours with the
  // fraction of the way between them (bilinear path). Offsets in bytes.
  struct Span {
    std::size_t offset = 0;        // bytes
    std::uint32_t count = 0;       // area: pixels in the box
    std::uint32_t weightIndex = 0; // area: first of count weights
    std::size_t step = 0;          // bilinear: bytes to the next neighbour, 0 at the edge
    double fraction = 0.0;         // bilinear: weight of the next neighbour
  };

  void convertByArea(const std::uint8_t* source, std::uint8_t* out);
  void convertBilinear(const std::uint8_t* source, std::uint8_t* out);
  static void addAreaSpans(int trim, int window, int outputs, std::size_t pixelBytes,
                           std::vector<Span>& spans, std::vector<double>& weights);
  static void addBilinearSpans(int trim, int window, int outputs, std::size_t pixelBytes,
                               std::vector<Span>& spans);

  int width_ = 0;
  int height_ = 0;
  std::size_t sourceRowBytes_ = 0;
  std::size_t sourceFrameBytes_ = 0;
  bool averagesArea_ = true;
  std::vector<Span> columns_;
  std::vector<Span> rows_;
  std::vector<double> columnWeights_;
  std::vector<double> rowWeights_;
  std::vector<double> inverseWeightSums_;  // area: 1 / (sum of a box's weights), per pixel
  // Area: the boxes of the output columns and the sums of one output row's
  // boxes (blue, green, red and an unused lane each).
  int windowLeft_ = 0;
  std::vector<FrameConverterBox> boxes_;
  std::vector<double> boxSums_;
  bool wideInstructions_ = __builtin_cpu_supports("avx2");
  std::array<double, 4> addends_{};        // by (x & 1) | (y & 1) << 1
  std::array<std::uint8_t, 256> outputBytes_{};  // quantised value -> stored byte
  std::vector<std::uint8_t> frame_;
};

}  // namespace zepra
