#include "encoder/error_calibration.h"

#include <algorithm>
#include <cmath>

namespace zepra {

namespace {

// The price the scenes are told apart at, an index into kNeedPrices.
constexpr std::size_t kScenePrice = kNeedPrices.size() / 2;

bool codedWhole(const FrameAnalysis& f) { return f.trueBytes > 0.0 && f.trueError > 0.0 && f.error[0] > 0.0; }

// The real error against the mosaic's at the same bytes: the mosaic's error
// at the price where it expects the frame to take what the real one took.
double logRatio(const FrameAnalysis& f) {
  const double price = MeasuredCurve(f.bytes, false).priceFor(f.trueBytes);
  return std::log(f.trueError / MeasuredCurve(f.error, true).at(price));
}

}  // namespace

bool newScene(const FrameAnalysis& previous, const FrameAnalysis& current) {
  const double before = previous.error[kScenePrice], now = current.error[kScenePrice];
  if (before <= 0.0 || now <= 0.0) return (before > 0.0) != (now > 0.0);
  return now > kSceneChange * before || before > kSceneChange * now;
}

std::vector<FrameNeed> calibratedErrors(std::span<const FrameAnalysis> frames) {
  std::vector<FrameNeed> errors(frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) errors[i] = frames[i].error;
  std::vector<std::size_t> coded;
  for (std::size_t i = 0; i < frames.size(); ++i)
    if (codedWhole(frames[i])) coded.push_back(i);
  if (coded.empty()) return errors;

  std::vector<double> ratio(frames.size(), 0.0);
  std::vector<bool> known(frames.size(), false);
  for (std::size_t first = 0; first < frames.size();) {
    std::size_t end = first + 1;
    while (end < frames.size() && !newScene(frames[end - 1], frames[end])) ++end;
    double sum = 0.0;
    int count = 0;
    for (std::size_t i = first; i < end; ++i) {
      if (!codedWhole(frames[i])) continue;
      sum += logRatio(frames[i]);
      ++count;
    }
    if (count > 0) {
      std::fill(ratio.begin() + first, ratio.begin() + end, sum / count);
      std::fill(known.begin() + first, known.begin() + end, true);
    }
    first = end;
  }
  auto distance = [](std::size_t a, std::size_t b) { return a > b ? a - b : b - a; };
  std::size_t nearest = 0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    if (!known[i]) {
      while (nearest + 1 < coded.size() && distance(coded[nearest + 1], i) <= distance(coded[nearest], i)) ++nearest;
      ratio[i] = logRatio(frames[coded[nearest]]);
    }
    for (double& e : errors[i]) e *= std::exp(ratio[i]);
  }
  return errors;
}

}  // namespace zepra
