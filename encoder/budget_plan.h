#pragma once
// The byte budgets of a stream compressed in two passes. The first pass
// measures what each frame needs at a few prices of a byte (in squared
// display error, the compressor's own measure; AnalysisCompressor) and the
// error it is left with at each; the plan finds the price at which the
// frames' needs add up to the stream's allowance and gives each frame its
// need at that price, within what the player decodes in time per frame. A
// byte goes where it removes the most error, weighted by how poor the
// frame's picture is (its errors first made true to the real compressor,
// scene by scene: error_calibration.h): a frame whose error stands above the
// others' gets a lower price (more bytes), one well below a higher price, so
// the plan leans from the least total error towards even pictures. A scene
// cut, which must build the new picture and its codebooks, gets many
// shares; grain that no budget can hold fewer, though more than one common
// price would give it; a flat picture what it needs to stay sharp. No frame is priced
// beyond the last measured price while the allowance pays for all of them
// there, nor beyond the lowest price at which it pays for all of them when
// it does not: a picture the first pass misjudges is never starved far
// below the others. A frame never gets less than half its planned share.
//
// The second pass follows the plan as it goes: before each frame, what the
// frames so far really spent (a picture the compressor renders for less
// than the first pass thought, a frame that could not use its share) is
// spread over the next frames by price, so savings go where a byte buys
// most instead of to whichever frames happen to come next.
//
// Frames the first pass coded intra (the first, and the key frames the
// stream asks for) are planned as intra frames: at least their smallest intra
// size is kept for them wherever they fall, so they come on time.
//
// The allowance is a hard limit: every budget leaves the later frames at
// least their smallest size, so a compressor whose frames stay within their
// budget (or at their smallest) ends within the allowance.

#include <array>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>


namespace zepra {

// The prices a frame's need is measured at, as multiples of the compressor's
// quality floor, lowest first; steps of equal ratio.
inline constexpr std::array<double, 3> kNeedPrices = {1.0, 12.0, 144.0};
// Price searches reach this far: far beyond the last measured price, where
// every frame is near its smallest.
inline constexpr double kHighestPrice = kNeedPrices.size() + 8.0;
// A frame's bytes, or its error, at each of kNeedPrices.
using FrameNeed = std::array<double, kNeedPrices.size()>;

// A frame's bytes at a price between (or beyond) the measured ones: price is
// an index into kNeedPrices, fractions between its steps, bytes taken
// geometrically between them and beyond the last at the last step's rate.
// Never rises with the price.
double needAt(const FrameNeed& need, double price);
// A frame's error at such a price, likewise; never falls with the price.
double errorAt(const FrameNeed& error, double price);

// A measured curve made monotonic (bytes never rise with the price, errors
// never fall), at least 1 at every point, taken geometrically between the
// points and beyond them at the nearest step's rate.
class MeasuredCurve {
 public:
  MeasuredCurve(const FrameNeed& measured, bool rising);
  double at(double price) const;
  // The lowest price from 0 to kHighestPrice at which a falling curve is at
  // or below `value` (kHighestPrice when it never is).
  double priceFor(double value) const;

 private:
  FrameNeed point_;
  std::array<double, kNeedPrices.size() - 1> rate_{};
};

// What the first pass measured of one frame.
struct FrameAnalysis {
  FrameNeed bytes{};   // the whole frame's expected bytes
  FrameNeed error{};   // mean squared error per pixel and channel (8-bit RGB); 0: not measured
  bool intra = false;  // coded intra: the first frame, or a key frame the stream asked for
  // The real compressor's bytes and error on the whole frame, where the
  // first pass coded it whole (0: not coded; error_calibration.h).
  double trueBytes = 0;
  double trueError = 0;
};

struct FrameSizeLimits {
  std::uint64_t cheapestIntra = 0;  // an intra frame's smallest size
  std::uint64_t cheapestInter = 0;  // every other frame's
  std::uint64_t largest = 0;        // no budget above this (decoding time, format)
};

// How far the plan leans towards even pictures: a frame's price goes as its
// error to the power of minus this (0: one price for all, the least total
// error).
inline constexpr double kEvenPictures = 1.5;

class BudgetPlan {
 public:
  BudgetPlan() = default;
  // frames: one per frame; allowance: bytes for all frames.
  BudgetPlan(std::span<const FrameAnalysis> frames, std::uint64_t allowance, FrameSizeLimits limits,
             double evenPictures = kEvenPictures);

  // False when the allowance cannot hold even the smallest frames.
  bool feasible() const { return feasible_; }
  std::uint32_t frames() const { return static_cast<std::uint32_t>(share_.size()); }
  std::uint64_t allowance() const { return allowance_; }
  // The planned share of frame n (1 for the first).
  std::uint64_t share(std::uint32_t n) const { return share_.at(n - 1); }
  // Whether frame n is planned as an intra frame. When the allowance cannot
  // hold every key frame's smallest intra size, only the first frame is.
  bool intra(std::uint32_t n) const { return intra_.at(n - 1); }

  // The budget of frame n (1 for the first) after `spent` bytes.
  std::uint64_t budgetFor(std::uint32_t n, std::uint64_t spent) const;

  // The frames before frame n have spent `spent` bytes: frame n and the
  // next few hundred are priced again so that their shares add up to what
  // the plan had for them plus what the frames so far saved (less what they
  // overspent), the end of the stream to what the allowance has left. Same
  // spending, same budgets: the plan stays deterministic.
  void follow(std::uint32_t n, std::uint64_t spent);

 private:
  bool leanTowardsEvenPictures(std::span<const FrameNeed> errors, double price, double evenPictures);
  double priceFrames(std::size_t first, std::size_t end, std::uint64_t spent, std::uint64_t until);

  std::vector<std::uint64_t> share_;
  std::vector<std::uint64_t> running_;     // planned total after frame n
  std::vector<std::uint64_t> smallest_;    // frame n's smallest size
  std::vector<std::uint64_t> reserve_;     // what the frames after frame n must keep
  std::vector<bool> intra_;
  std::vector<MeasuredCurve> needs_;  // each frame's bytes by price
  std::vector<double> lean_;  // each frame's price offset from the common one
  double lastPrice_ = -INFINITY;    // the common price found last
  double lastCeiling_ = -INFINITY;  // ... and the lowest price that paid for every frame
  std::uint64_t allowance_ = 0;
  FrameSizeLimits limits_;
  bool feasible_ = false;
};

}  // namespace zepra
