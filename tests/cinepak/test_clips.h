#pragma once
// Small synthetic clips made in code: 24-bit bottom-up BGR frames.

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "cinepak/console_colour.h"

namespace zepra::test {

using Frame = std::vector<std::uint8_t>;

enum class Clip { kGradient, kNoise, kShapes, kGrey, kStatic };

inline const char* clipName(Clip clip) {
  switch (clip) {
    case Clip::kGradient: return "gradient";
    case Clip::kNoise: return "noise";
    case Clip::kShapes: return "shapes";
    case Clip::kGrey: return "grey";
    case Clip::kStatic: return "static";
  }
  return "";
}

inline std::vector<Frame> makeClip(Clip clip, int width, int height, int frames) {
  std::mt19937 random(1234);
  std::vector<Frame> out;
  for (int t = 0; t < frames; ++t) {
    Frame f(static_cast<std::size_t>(width) * height * 3);
    const int time = clip == Clip::kStatic ? 0 : t;
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = &f[static_cast<std::size_t>(height - 1 - y) * width * 3];  // bottom-up
      for (int x = 0; x < width; ++x) {
        int r = 0, g = 0, b = 0;
        switch (clip) {
          case Clip::kGradient:
            r = x * 255 / width;
            g = y * 255 / height;
            b = (x + y + 4 * time) % 256;
            break;
          case Clip::kNoise:
            r = static_cast<int>(random() & 255);
            g = static_cast<int>(random() & 255);
            b = static_cast<int>(random() & 255);
            break;
          case Clip::kShapes:
          case Clip::kStatic: {
            r = 40 + x / 2;
            g = 60 + y / 2;
            b = 120;
            const int cx = 30 + 5 * time, cy = 40 + 2 * time;
            if (x >= cx && x < cx + 50 && y >= cy && y < cy + 30) { r = 230; g = 40; b = 30; }
            const int dx = x - (width - 40 - 3 * time), dy = y - (height / 2);
            if (dx * dx + dy * dy < 400) { r = 250; g = 220; b = 60 + (x * 7 + y * 3) % 64; }
            break;
          }
          case Clip::kGrey: {
            r = (x * 3 + y) % 256;
            const int cx = 20 + 4 * time;
            if (x >= cx && x < cx + 40 && y >= 30 && y < 70) r = 255 - r;
            g = b = r;
            break;
          }
        }
        row[3 * x] = static_cast<std::uint8_t>(b);
        row[3 * x + 1] = static_cast<std::uint8_t>(g);
        row[3 * x + 2] = static_cast<std::uint8_t>(r);
      }
    }
    out.push_back(std::move(f));
  }
  return out;
}

// Squared error of a console picture (row 0 = top) against a bottom-up BGR frame,
// each 5-bit channel taken to 8 bits as a display shows it.
inline double squaredError(const std::uint16_t* picture, const Frame& frame, int width, int height) {
  double sum = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint16_t p = picture[y * width + x];
      const std::uint8_t* s = &frame[(static_cast<std::size_t>(height - 1 - y) * width + x) * 3];
      const int shown[3] = {expandChannel(p & 31), expandChannel(p >> 5 & 31), expandChannel(p >> 10 & 31)};
      const int source[3] = {s[2], s[1], s[0]};
      for (int c = 0; c < 3; ++c) sum += double(shown[c] - source[c]) * (shown[c] - source[c]);
    }
  return sum;
}

inline double psnr(double squared, double samples) {
  const double mse = squared / samples;
  return mse <= 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace zepra::test
