#include "video/frame_converter.h"

#include <algorithm>
#include <cmath>

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
  if (averagesArea_) {
    addAreaSpans(setup.trim.left, windowWidth, width_, 3, columns_, columnWeights_);
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

const std::uint8_t* FrameConverter::convert(const std::uint8_t* source) {
  if (averagesArea_) {
    convertByArea(source);
  } else {
    convertBilinear(source);
  }
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

}  // namespace

namespace {

// The weighted sums of one output pixel's box, one per channel.
struct BoxSums {
  double blue = 0.0;
  double green = 0.0;
  double red = 0.0;

  void add(const std::uint8_t* pixel, double weight) {
    blue += kByteValues[pixel[0]] * weight;
    green += kByteValues[pixel[1]] * weight;
    red += kByteValues[pixel[2]] * weight;
  }
};

}  // namespace

// Each box is summed row by row, column by column, so the sums are fixed to
// the last bit. Two neighbouring boxes are summed side by side: their sums do
// not depend on each other, so the processor can overlap them.
void FrameConverter::convertByArea(const std::uint8_t* source) {
  std::uint8_t* out = frame_.data();
  const double* inverseSum = inverseWeightSums_.data();
  auto store = [&](const BoxSums& sums, double addend) {
    const double scale = *inverseSum++;
    out[0] = outputBytes_[quantise(sums.blue * scale + addend)];
    out[1] = outputBytes_[quantise(sums.green * scale + addend)];
    out[2] = outputBytes_[quantise(sums.red * scale + addend)];
    out += 3;
  };
  for (int y = 0; y < height_; ++y) {
    const Span& row = rows_[y];
    const double* rowWeights = rowWeights_.data() + row.weightIndex;
    const double* addends = addends_.data() + ((y & 1) << 1);
    const std::uint8_t* rowStart = source + row.offset;
    int x = 0;
    for (; x + 1 < width_; x += 2) {
      const Span& left = columns_[x];
      const Span& right = columns_[x + 1];
      const double* leftWeights = columnWeights_.data() + left.weightIndex;
      const double* rightWeights = columnWeights_.data() + right.weightIndex;
      const std::uint32_t common = std::min(left.count, right.count);
      BoxSums a;
      BoxSums b;
      const std::uint8_t* line = rowStart;
      for (std::uint32_t r = 0; r < row.count; ++r, line += sourceRowBytes_) {
        const double rowWeight = rowWeights[r];
        const std::uint8_t* pa = line + left.offset;
        const std::uint8_t* pb = line + right.offset;
        std::uint32_t c = 0;
        for (; c < common; ++c) {
          a.add(pa + 3 * c, leftWeights[c] * rowWeight);
          b.add(pb + 3 * c, rightWeights[c] * rowWeight);
        }
        for (std::uint32_t ca = c; ca < left.count; ++ca) a.add(pa + 3 * ca, leftWeights[ca] * rowWeight);
        for (std::uint32_t cb = c; cb < right.count; ++cb) b.add(pb + 3 * cb, rightWeights[cb] * rowWeight);
      }
      store(a, addends[0]);
      store(b, addends[1]);
    }
    for (; x < width_; ++x) {
      const Span& column = columns_[x];
      const double* columnWeights = columnWeights_.data() + column.weightIndex;
      BoxSums sums;
      const std::uint8_t* line = rowStart + column.offset;
      for (std::uint32_t r = 0; r < row.count; ++r, line += sourceRowBytes_) {
        for (std::uint32_t c = 0; c < column.count; ++c) {
          sums.add(line + 3 * c, columnWeights[c] * rowWeights[r]);
        }
      }
      store(sums, addends[x & 1]);
    }
  }
}

void FrameConverter::convertBilinear(const std::uint8_t* source) {
  std::uint8_t* out = frame_.data();
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
