#include "video/geometry.h"

#include <algorithm>

namespace zepra {

int roundToMultipleOf4(double x) { return static_cast<int>(x + 2.5) & ~3; }

namespace {

// Keeps n pixels of the span between the manual trims, centred, an odd pixel
// going to the far side (right or top). n is held within 1..span, so the
// window stays inside the frame where rounding overshoots the span (a 270 x
// 180 frame asks for 272 columns) and keeps a pixel on a very thin picture.
void centreWindow(int extent, int& nearTrim, int& farTrim, int n) {
  const int span = extent - nearTrim - farTrim;
  n = std::clamp(n, 1, span);
  nearTrim += (span - n) / 2;
  farTrim = extent - nearTrim - n;
}

}  // namespace

bool trimsLeavePixels(const GeometryRequest& request) {
  const TrimWindow& t = request.trim;
  return request.sourceWidth > t.left + t.right && request.sourceHeight > t.bottom + t.top;
}

std::optional<Geometry> fitPicture(const GeometryRequest& request) {
  const int w = request.sourceWidth;
  const int h = request.sourceHeight;
  Geometry g{request.trim, request.outputWidth, request.outputHeight};
  if (!trimsLeavePixels(request)) return std::nullopt;

  double pixelAspect = 1.0;
  if (request.pictureAspectX != 0 && request.pictureAspectY != 0) {
    pixelAspect = (static_cast<double>(request.pictureAspectX) * h) /
                  (static_cast<double>(request.pictureAspectY) * w);
  }
  auto displayRatio = [&] {
    const double wc = w - g.trim.left - g.trim.right;
    const double hc = h - g.trim.bottom - g.trim.top;
    return (wc * pixelAspect) / hc;
  };

  if (request.autoTrim) {
    g.outputWidth = kScreenWidth;
    g.outputHeight = kScreenHeight;
    const double wc = w - g.trim.left - g.trim.right;
    const double hc = h - g.trim.bottom - g.trim.top;
    if (2.0 * displayRatio() >= 3.0) {
      centreWindow(w, g.trim.left, g.trim.right, roundToMultipleOf4(3.0 * hc / (2.0 * pixelAspect)));
    } else {
      centreWindow(h, g.trim.bottom, g.trim.top, roundToMultipleOf4(2.0 * wc * pixelAspect / 3.0));
    }
  }

  if (g.outputWidth == -1 && g.outputHeight == -1) {
    const double ratio = displayRatio();
    const int m = roundToMultipleOf4(kScreenHeight * ratio);
    if (m <= kScreenWidth) {
      g.outputWidth = m;
      g.outputHeight = kScreenHeight;
    } else {
      g.outputWidth = kScreenWidth;
      g.outputHeight = std::min(roundToMultipleOf4(kScreenWidth / ratio), kScreenHeight);
    }
    if (g.outputWidth <= 0 || g.outputHeight <= 0) return std::nullopt;
  }
  return g;
}

}  // namespace zepra
