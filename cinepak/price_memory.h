#pragma once
// The price of a bit that a stream's byte rate has lately sustained, and the
// floor it puts under the next frame's price. A frame whose budget buys picture
// only at a price far below the recent ones (a still scene after motion) stops
// there and leaves the rest of its budget to later frames, which need it more:
// bytes go where a byte buys the most. The floor halves within about a second
// of calm frames, so a long still scene is refined in the end.

#include <cstdint>

namespace zepra {

class PriceMemory {
 public:
  void reset() { price_ = 0.0f; }
  // The price remembered (0: none yet), and taking one up again, so that a
  // session can go on where another one's stream was.
  float remembered() const { return price_; }
  void recall(float price);
  // The lowest price the next frame may be coded at, never below qualityFloor.
  float floor(float qualityFloor) const;
  // Learns from a frame coded at `price`. Intra frames cost every block and
  // frames starved by an earlier frame's overshoot pay for the pacing, not
  // the picture: neither tells what the byte rate sustains.
  void learn(float price, bool intra, bool starved);
  // What `frames` frames held at the floor teach it: the memory after that
  // many calm frames that were not coded here.
  void passFramesAtFloor(std::uint32_t frames, float qualityFloor);

 private:
  float price_ = 0.0f;  // 0 until the first frame that teaches it
};

}  // namespace zepra
