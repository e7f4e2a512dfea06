#pragma once
// The nearest-entry search of a SearchTable, in two builds: one with the
// processor's baseline vectors (four entries at a time) and one in a unit
// built for AVX2 (eight at a time). Every entry's score is computed with the
// same operations in the same order, and ties go to the lowest index, so both
// builds pick the same entry with the same score; the AVX2 unit is built
// without fused multiply-add for that reason.
//
// The search reads the active entries ordered by their mean luma, in blocks
// of eight. It scores the block where the query's own mean luma falls and
// its two neighbours, then goes on outwards only as long as the gap in mean
// luma leaves room for a better entry: over the four luma coordinates
// |x - c|^2 >= 4 (mean(x) - mean(c))^2. The bound carries a margin for the
// rounding of the float scores, so an entry left out could not have won, nor
// tied: the result is the entry and score an exhaustive scan finds.
//
// The loop is a template over the lane count, living in an unnamed namespace
// so that the two builds never share a definition.

#include <cstdint>
#include <cstring>
#include <limits>

#include "cinepak/vector_space.h"

namespace zepra {

inline constexpr int kSearchEntries = 256;
// The score of an inactive entry; any real score is far below it.
inline constexpr float kInactiveScore = 1e30f;
// Entries that share one luma bound.
inline constexpr int kBlockEntries = 8;
inline constexpr int kSearchBlocks = kSearchEntries / kBlockEntries;
// Whole mean luma values from -kLumaBucketBase on, each with the block a
// search for that luma starts at; luma lies within about -110..365.
inline constexpr int kLumaBuckets = 512;
inline constexpr int kLumaBucketBase = 128;

// The layout the search reads: the active entries ordered by mean luma, in
// kDims rows of components, with each entry's |c|^2 / 2 and its index in the
// table. The last block is filled up with inactive entries.
struct LumaOrder {
  int blocks = 0;
  alignas(32) float components[kDims][kSearchEntries];
  alignas(32) float halfNorms[kSearchEntries];
  alignas(32) std::int32_t indices[kSearchEntries];
  double lowestMean[kSearchBlocks];   // of each block's active entries
  double highestMean[kSearchBlocks];
  double largestNorm = 0.0;  // the largest |c|^2
  std::uint8_t startBlock[kLumaBuckets];  // the first block reaching the bucket's luma
};

// The rows of a table as it is filled: row d of the components starts at
// components + d * kSearchEntries; an inactive entry's half norm is
// kInactiveScore.
struct SearchRows {
  const float* components;
  const float* halfNorms;
};

// The entry minimising |c|^2 / 2 - x.c (so |x - c|^2 = |x|^2 + 2 score).
struct ScoredEntry {
  int index;
  float score;
};

void orderByLuma(const SearchRows& rows, const bool* active, LumaOrder& order);
// kInactiveScore as the score when no entry is active.
ScoredEntry searchEntriesPlain(const LumaOrder& order, const Vector6& x);
ScoredEntry searchEntriesAvx2(const LumaOrder& order, const Vector6& x);
// True when the processor runs the AVX2 build.
bool wideSearchAvailable();

// An entry's score as both builds compute it; a score may be off from the
// exact value by less than this.
inline double scoreRoundingBound(double squaredQuery, double largestNorm) {
  // Half a dozen roundings, each at most 2^-24 of terms bounded by |x|^2 and
  // |c|^2, with ample room for the second-order terms.
  return 4e-6 * (squaredQuery + largestNorm);
}

inline double meanLuma(const float* c) {
  return (static_cast<double>(c[0]) + c[1] + c[2] + c[3]) * 0.25;
}

// The bucket of a mean luma, those outside the range (and NaN) held at its ends.
inline int lumaBucket(double mean) {
  if (!(mean >= -kLumaBucketBase)) return 0;
  if (mean >= kLumaBuckets - kLumaBucketBase) return kLumaBuckets - 1;
  return static_cast<int>(mean + kLumaBucketBase);
}

namespace {

template <int kLanes>
struct LaneTypes;
template <>
struct LaneTypes<4> {
  typedef float Floats __attribute__((vector_size(16)));
  typedef std::int32_t Ints __attribute__((vector_size(16)));
};
template <>
struct LaneTypes<8> {
  typedef float Floats __attribute__((vector_size(32)));
  typedef std::int32_t Ints __attribute__((vector_size(32)));
};

template <int kLanes>
class OrderedSearch {
  using Lanes = typename LaneTypes<kLanes>::Floats;
  using LaneInts = typename LaneTypes<kLanes>::Ints;

 public:
  OrderedSearch(const LumaOrder& order, const Vector6& v) : order_(order) {
    for (int d = 0; d < kDims; ++d) x_[d] = Lanes{} + v.c[d];
    best_ = Lanes{} + kInactiveScore;
    bestIndex_ = LaneInts{} + std::numeric_limits<std::int32_t>::max();
  }

  // Each lane keeps the lowest score it met, and of equal scores the lowest index.
  void scanBlock(int block) {
    for (int k = block * kBlockEntries; k < (block + 1) * kBlockEntries; k += kLanes) {
      Lanes score;
      std::memcpy(&score, &order_.halfNorms[k], sizeof score);
      for (int d = 0; d < kDims; ++d) {
        Lanes c;
        std::memcpy(&c, &order_.components[d][k], sizeof c);
        score -= x_[d] * c;
      }
      LaneInts index;
      std::memcpy(&index, &order_.indices[k], sizeof index);
      const LaneInts better = (score < best_) | ((score == best_) & (index < bestIndex_));
      best_ = better ? score : best_;
      bestIndex_ = better ? index : bestIndex_;
    }
  }

  float bestScore() const {
    Lanes lowest = best_;
    for (int width = kLanes / 2; width > 0; width /= 2) {
      LaneInts swap;
      for (int lane = 0; lane < kLanes; ++lane) swap[lane] = lane ^ width;
      const Lanes other = __builtin_shuffle(lowest, swap);
      lowest = other < lowest ? other : lowest;
    }
    return lowest[0];
  }

  ScoredEntry result() const {
    ScoredEntry found{bestIndex_[0], best_[0]};
    for (int lane = 1; lane < kLanes; ++lane)
      if (best_[lane] < found.score || (best_[lane] == found.score && bestIndex_[lane] < found.index))
        found = {bestIndex_[lane], best_[lane]};
    return found;
  }

 private:
  const LumaOrder& order_;
  Lanes x_[kDims];
  Lanes best_;
  LaneInts bestIndex_;
};

template <int kLanes>
inline ScoredEntry searchEntries(const LumaOrder& order, const Vector6& v) {
  if (order.blocks == 0) return {0, kInactiveScore};
  const double mean = meanLuma(v.c);
  double squared = 0.0;
  for (int d = 0; d < kDims; ++d) squared += static_cast<double>(v.c[d]) * v.c[d];

  OrderedSearch<kLanes> search(order, v);
  const int start = order.startBlock[lumaBucket(mean)];
  int down = start > 0 ? start - 1 : 0;
  int up = start + 2 < order.blocks ? start + 2 : order.blocks;
  for (int block = down; block < up; ++block) search.scanBlock(block);
  // An entry whose mean luma lies gap away scores at least
  // 2 gap^2 - |x|^2 / 2 exactly, so more than the best once gap^2 passes this.
  const double limit =
      (search.bestScore() + 0.5 * squared + scoreRoundingBound(squared, order.largestNorm)) * 0.5;
  // Gaps only grow outwards.
  for (; up < order.blocks; ++up) {
    const double gap = order.lowestMean[up] - mean;
    if (gap > 0.0 && gap * gap > limit) break;
    search.scanBlock(up);
  }
  while (--down >= 0) {
    const double gap = mean - order.highestMean[down];
    if (gap > 0.0 && gap * gap > limit) break;
    search.scanBlock(down);
  }
  return search.result();
}

}  // namespace
}  // namespace zepra
