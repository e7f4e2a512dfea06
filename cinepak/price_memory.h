#pragma once
// The price of a bit that a stream's byte rate has lately sustained, and the
// floor it puts under the next frame's price. A frame whose budget buys picture
// only at a price far below the recent ones (a still scene after motion) stops
// there and leaves the rest of its budget to later frames, which need it more:
// bytes go where a byte buys the most. The floor halves within about a second
// of calm frames, so a long still scene is refined in the end.

namespace zepra {

class PriceMemory {
 public:
  void reset() { price_ = 0.0f; }
  // The lowest price the next frame may be coded at, never below qualityFloor.
  float floor(float qualityFloor) const;
  // Learns from a frame coded at `price`. Intra frames cost every block and
  // frames starved by an earlier frame's overshoot pay for the pacing, not
  // the picture: neither tells what the byte rate sustains.
  void learn(float price, bool intra, bool starved);

 private:
  float price_ = 0.0f;  // 0 until the first frame that teaches it
};

}  // namespace zepra
