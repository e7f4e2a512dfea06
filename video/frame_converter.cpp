#include "video/frame_converter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "video/box_sums.h"

namespace zepra {

std::array<std::uint8_t, 256> buildBrightnessTable(float gamma) {
  std::array<std::uint8_t, 256> table{};
  const double exponent = 1.0 / static_cast<double>(gamma);
  for (int i = 0; i < 256; ++i) {
    const double v = 255.0 * std::pow(i * 0.00392156862745098, exponent);
    table[i] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
  }
  return table;
}

std::size_t sourceRowBytes(int width) {
  return (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
}

void FrameConverter::configure(const ConversionSetup& setup) {
  width_ = setup.outputWidth;
  height_ = setup.outputHeight;
  sourceRowBytes_ = sourceRowBytes(setup.sourceWidth);
  sourceFrameBytes_ = sourceRowBytes_ * static_cast<std::size_t>(setup.sourceHeight);
  const int windowWidth = setup.sourceWidth - setup.trim.left - setup.trim.right;
  const int windowHeight = setup.sourceHeight - setup.trim.bottom - setup.trim.top;
  averagesArea_ = width_ <= windowWidth && height_ <= windowHeight;

  columns_.clear();
  rows_.clear();
  columnWeights_.clear();
  rowWeights_.clear();
  inverseWeightSums_.clear();
  boxes_.clear();
  boxSums_.clear();
  if (averagesArea_) {
    // The boxes lie in frame coordinates, trim included, so that their edges
    // and weights round as the frame's columns do; the summing loop counts
    // columns from the window's left edge.
    addAreaSpans(setup.trim.left, windowWidth, width_, 1, columns_, columnWeights_);
    for (const Span& column : columns_) {
      const std::size_t fromWindow = column.offset - static_cast<std::size_t>(setup.trim.left);
      boxes_.push_back({static_cast<std::uint32_t>(fromWindow), column.count, column.weightIndex});
    }
    addAreaSpans(setup.trim.bottom, windowHeight, height_, sourceRowBytes_, rows_, rowWeights_);
    // The sum of a box's weights, taken in the order the pixels are visited.
    inverseWeightSums_.reserve(static_cast<std::size_t>(width_) * height_);
    for (const Span& row : rows_) {
      for (const Span& column : columns_) {
        double sum = 0.0;
        for (std::uint32_t r = 0; r < row.count; ++r) {
          for (std::uint32_t c = 0; c < column.count; ++c) {
            sum += columnWeights_[column.weightIndex + c] * rowWeights_[row.weightIndex + r];
          }
        }
        inverseWeightSums_.push_back(1.0 / sum);
      }
    }
    windowLeft_ = setup.trim.left;
    boxSums_.assign(static_cast<std::size_t>(width_) * 4, 0.0);
  } else {
    addBilinearSpans(setup.trim.left, windowWidth, width_, 3, columns_);
    addBilinearSpans(setup.trim.bottom, windowHeight, height_, sourceRowBytes_, rows_);
  }

  switch (setup.preFilter) {
    case k2xDithering: addends_ = {0.5, 4.5, 4.5, 0.5}; break;
    case k4xDithering: addends_ = {0.5, 6.5, 4.5, 2.5}; break;
    default: addends_ = {0.5, 0.5, 0.5, 0.5}; break;
  }
  // An enlarged picture keeps the decoded brightness.
  const std::uint8_t mask = setup.preFilter == kNoFilter ? 0xFF : 0xF8;
  const auto brightness = buildBrightnessTable(setup.gamma);
  for (int n = 0; n < 256; ++n) {
    outputBytes_[n] = static_cast<std::uint8_t>((averagesArea_ ? brightness[n] : n) & mask);
  }
  frame_.assign(static_cast<std::size_t>(width_) * height_ * 3, 0);
}

// Output pixel i's box spans trim + i x window / outputs to trim + (i + 1) x
// window / outputs; each source pixel it touches weighs the fraction covered.
void FrameConverter::addAreaSpans(int trim, int window, int outputs, std::size_t pixelBytes,
                                  std::vector<Span>& spans, std::vector<double>& weights) {
  for (int i = 0; i < outputs; ++i) {
    const double from = trim + (static_cast<double>(i) * window) / outputs;
    const double to = trim + (static_cast<double>(i + 1) * window) / outputs;
    const int first = static_cast<int>(from);
    const int end = static_cast<int>(to) + (to != static_cast<int>(to) ? 1 : 0);
    Span span;
    span.offset = static_cast<std::size_t>(first) * pixelBytes;
    span.count = static_cast<std::uint32_t>(end - first);
    span.weightIndex = static_cast<std::uint32_t>(weights.size());
    for (int p = first; p < end; ++p) {
      weights.push_back(std::min(p + 1.0, to) - std::max(static_cast<double>(p), from));
    }
    spans.push_back(span);
  }
}

// Corner-aligned: the first and last outputs sit on the window's first and
// last pixels; at the last pixel the next neighbour is the pixel itself.
void FrameConverter::addBilinearSpans(int trim, int window, int outputs, std::size_t pixelBytes,
                                      std::vector<Span>& spans) {
  for (int i = 0; i < outputs; ++i) {
    const double position =
        outputs > 1 ? static_cast<double>(static_cast<std::int64_t>(i) * (window - 1)) / (outputs - 1)
                    : 0.0;
    const int index = static_cast<int>(position);
    Span span;
    span.offset = static_cast<std::size_t>(trim + index) * pixelBytes;
    span.step = index < window - 1 ? pixelBytes : 0;
    span.fraction = position - index;
    spans.push_back(span);
  }
}

void FrameConverter::convert(const std::uint8_t* source, std::uint8_t* out) {
  if (averagesArea_) {
    convertByArea(source, out);
  } else {
    convertBilinear(source, out);
  }
}

const std::uint8_t* FrameConverter::convert(const std::uint8_t* source) {
  convert(source, frame_.data());
  return frame_.data();
}

namespace {

// v plus the filter's addend, held within 0..255 and truncated.
inline int quantise(double v) { return static_cast<int>(std::clamp(v, 0.0, 255.0)); }

// Byte values as doubles: a load is cheaper than a conversion in the inner loop.
const std::array<double, 256> kByteValues = [] {
  std::array<double, 256> values{};
  for (int i = 0; i < 256; ++i) values[i] = i;
  return values;
}();

// Byte values as doubles, summed channel by channel.
struct PlainSums {
  double lanes[3] = {0.0, 0.0, 0.0};
  void add(const std::uint8_t* pixel, double weight) {
    lanes[0] += kByteValues[pixel[0]] * weight;
    lanes[1] += kByteValues[pixel[1]] * weight;
    lanes[2] += kByteValues[pixel[2]] * weight;
  }
  void store(double* sums) const { std::memcpy(sums, lanes, sizeof lanes); }
};

}  // namespace

void FrameConverter::useWideInstructions(bool use) {
  wideInstructions_ = use && __builtin_cpu_supports("avx2");
}

void FrameConverter::convertByArea(const std::uint8_t* source, std::uint8_t* out) {
  const double* inverseSum = inverseWeightSums_.data();
  const std::uint8_t* sourceEnd = source + sourceFrameBytes_;
  for (int y = 0; y < height_; ++y) {
    const Span& row = rows_[y];
    const BoxRow boxRow{source + row.offset + 3 * static_cast<std::size_t>(windowLeft_), sourceRowBytes_,
                        row.count, rowWeights_.data() + row.weightIndex, boxes_.data(),
                        columnWeights_.data(), boxSums_.data()};
    if (wideInstructions_) {
      // The four-byte read of the frame's very last pixel would pass the
      // buffer's end: the box that holds it is summed the plain way.
      const FrameConverterBox& last = boxes_[width_ - 1];
      const std::uint8_t* lastPixel = boxRow.window + (row.count - 1) * sourceRowBytes_ +
                                      3 * static_cast<std::size_t>(last.first + last.count - 1);
      const int wideEnd = lastPixel + 4 > sourceEnd ? width_ - 1 : width_;
      sumBoxesAvx2(boxRow, 0, wideEnd);
      sumBoxes<PlainSums>(boxRow, wideEnd, width_);
    } else {
      sumBoxes<PlainSums>(boxRow, 0, width_);
    }
    const double* addends = addends_.data() + ((y & 1) << 1);
    const double* sums = boxSums_.data();
    for (int x = 0; x < width_; ++x, sums += 4, out += 3) {
      const double scale = *inverseSum++;
      const double addend = addends[x & 1];
      out[0] = outputBytes_[quantise(sums[0] * scale + addend)];
      out[1] = outputBytes_[quantise(sums[1] * scale + addend)];
      out[2] = outputBytes_[quantise(sums[2] * scale + addend)];
    }
  }
}

void FrameConverter::convertBilinear(const std::uint8_t* source, std::uint8_t* out) {
  for (int y = 0; y < height_; ++y) {
    const Span& row = rows_[y];
    const std::uint8_t* row0 = source + row.offset;
    const std::uint8_t* row1 = row0 + row.step;
    const double wy = row.fraction;
    const double* addends = addends_.data() + ((y & 1) << 1);
    for (int x = 0; x < width_; ++x) {
      const Span& column = columns_[x];
      const std::uint8_t* p00 = row0 + column.offset;
      const std::uint8_t* p10 = p00 + column.step;
      const std::uint8_t* p01 = row1 + column.offset;
      const std::uint8_t* p11 = p01 + column.step;
      const double wx = column.fraction;
      const double addend = addends[x & 1];
      for (int ch = 0; ch < 3; ++ch) {
        const int a = p00[ch];
        const int b = p10[ch];
        const int c = p01[ch];
        const int d = p11[ch];
        const double v = (static_cast<double>(d - b - c + a) * wy + (b - a)) * wx + (c - a) * wy + a;
        out[ch] = outputBytes_[quantise(v + addend)];
      }
      out += 3;
    }
  }
}

}  // namespace zepra
