#include "tests/video/reference_conversion.h"

#include <algorithm>
#include <cmath>

namespace zepra::test {

namespace {

double addend(int filter, int x, int y) {
  if (filter == 2) return (x + y) % 2 == 0 ? 0.5 : 4.5;
  if (filter == 3) {
    static const double kAddends[2][2] = {{0.5, 4.5}, {6.5, 2.5}};  // [x mod 2][y mod 2]
    return kAddends[x % 2][y % 2];
  }
  return 0.5;
}

}  // namespace

std::vector<std::uint8_t> referenceConvert(const ConversionSetup& s, const std::uint8_t* source) {
  std::uint8_t table[256];
  for (int i = 0; i < 256; ++i) {
    double v = 255.0 * std::pow(i * 0.00392156862745098, 1.0 / static_cast<double>(s.gamma));
    if (v < 0) v = 0;
    if (v > 255) v = 255;
    table[i] = static_cast<std::uint8_t>(v);
  }
  const int w = s.outputWidth;
  const int h = s.outputHeight;
  const int wc = s.sourceWidth - s.trim.left - s.trim.right;
  const int hc = s.sourceHeight - s.trim.bottom - s.trim.top;
  const int stride = (s.sourceWidth * 3 + 3) & ~3;
  std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * h * 3);
  const bool area = w <= wc && h <= hc;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* o = &out[(static_cast<std::size_t>(y) * w + x) * 3];
      if (area) {
        const double x0 = s.trim.left + x * wc / static_cast<double>(w);
        const double x1 = s.trim.left + (x + 1) * wc / static_cast<double>(w);
        const double y0 = s.trim.bottom + y * hc / static_cast<double>(h);
        const double y1 = s.trim.bottom + (y + 1) * hc / static_cast<double>(h);
        const int cEnd = static_cast<int>(x1) + (x1 != static_cast<int>(x1));
        const int rEnd = static_cast<int>(y1) + (y1 != static_cast<int>(y1));
        double sum = 0;
        double channel[3] = {0, 0, 0};
        for (int r = static_cast<int>(y0); r < rEnd; ++r) {
          for (int c = static_cast<int>(x0); c < cEnd; ++c) {
            const double wt = (std::min(c + 1.0, x1) - std::max<double>(c, x0)) *
                              (std::min(r + 1.0, y1) - std::max<double>(r, y0));
            sum += wt;
            for (int ch = 0; ch < 3; ++ch) channel[ch] += source[r * stride + 3 * c + ch] * wt;
          }
        }
        for (int ch = 0; ch < 3; ++ch) {
          double v = channel[ch] * (1.0 / sum) + addend(s.preFilter, x, y);
          v = std::clamp(v, 0.0, 255.0);
          const int n = static_cast<int>(v);
          o[ch] = s.preFilter == 0 ? table[n] : table[n] & 0xF8;
        }
      } else {
        const double fy = static_cast<double>(y * (hc - 1)) / (h - 1);
        const int iy = static_cast<int>(fy);
        const double wy = fy - iy;
        const double fx = static_cast<double>(x * (wc - 1)) / (w - 1);
        const int ix = static_cast<int>(fx);
        const double wx = fx - ix;
        const int c0 = s.trim.left + ix;
        const int c1 = ix == wc - 1 ? c0 : c0 + 1;
        const int r0 = s.trim.bottom + iy;
        const int r1 = iy == hc - 1 ? r0 : r0 + 1;
        for (int ch = 0; ch < 3; ++ch) {
          const int p00 = source[r0 * stride + 3 * c0 + ch];
          const int p10 = source[r0 * stride + 3 * c1 + ch];
          const int p01 = source[r1 * stride + 3 * c0 + ch];
          const int p11 = source[r1 * stride + 3 * c1 + ch];
          const double v = ((p11 - p10 - p01 + p00) * wy + (p10 - p00)) * wx + (p01 - p00) * wy + p00;
          if (s.preFilter == 0) {
            o[ch] = static_cast<std::uint8_t>(static_cast<int>(v + 0.5));
          } else if (s.preFilter == 1) {
            o[ch] = static_cast<std::uint8_t>(static_cast<int>(v + 0.5) & 0xF8);
          } else {
            const double d = std::clamp(v + addend(s.preFilter, x, y), 0.0, 255.0);
            o[ch] = static_cast<std::uint8_t>(static_cast<int>(d) & 0xF8);
          }
        }
      }
    }
  }
  return out;
}

}  // namespace zepra::test
