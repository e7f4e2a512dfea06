#pragma once
// The geometry of one conversion: which window of the decoded frame is used
// and how large the converted frame is. The console screen is 240 x 160, so
// converted frames are at most that size, with both sides multiples of 4.

#include <cstdint>
#include <optional>

#include "format/screen.h"

namespace zepra {

// Source pixels removed at each edge; "bottom" rows are the first rows of the
// bottom-up frame buffer.
struct TrimWindow {
  int left = 0;
  int bottom = 0;
  int right = 0;
  int top = 0;
};

struct GeometryRequest {
  int sourceWidth = 0;   // W, the decoded biWidth
  int sourceHeight = 0;  // H, the decoded biHeight (negative: top-down, refused)
  TrimWindow trim;
  bool autoTrim = false;  // cut to the screen's 3:2 shape and output 240 x 160
  int outputWidth = -1;   // -1 and -1: automatic size
  int outputHeight = -1;
  std::uint32_t pictureAspectX = 0;  // display aspect X:Y, 0 = none
  std::uint32_t pictureAspectY = 0;
};

struct Geometry {
  TrimWindow trim;  // the final window, always inside the frame
  int outputWidth = 0;
  int outputHeight = 0;
};

// trunc(x + 2.5) with the two low bits cleared: the multiple of 4 nearest x.
int roundToMultipleOf4(double x);

// Whether the trims leave at least one pixel of the frame (never for a
// top-down frame).
bool trimsLeavePixels(const GeometryRequest& request);

// Trims, trims automatically and sizes the picture. Empty when the trims
// leave no pixel (or the frame is top-down) or an automatic size would round
// to nothing (a picture over about 107 times taller than wide, or 160 times
// wider than tall).
std::optional<Geometry> fitPicture(const GeometryRequest& request);

}  // namespace zepra
