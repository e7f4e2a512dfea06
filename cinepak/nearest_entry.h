#pragma once
// The nearest-entry scan of a SearchTable, in two builds: one with the
// processor's baseline vectors (four entries at a time) and one in a unit
// built for AVX2 (eight at a time). Every entry's score is computed with the
// same operations in the same order, and ties go to the lowest index, so both
// builds pick the same entry with the same score; the AVX2 unit is built
// without fused multiply-add for that reason.
//
// The loop is a template over the lane count, living in an unnamed namespace
// so that the two builds never share a definition.

#include <cstdint>
#include <cstring>

#include "cinepak/vector_space.h"

namespace zepra {

inline constexpr int kSearchEntries = 256;
// The score of an inactive entry; any real score is far below it.
inline constexpr float kInactiveScore = 1e30f;

// The layout the scan reads: kDims rows of kSearchEntries components, and
// each entry's |c|^2 / 2 (kInactiveScore for inactive entries).
struct SearchRows {
  const float* components;  // row d starts at components + d * kSearchEntries
  const float* halfNorms;
};

// The entry minimising |c|^2 / 2 - x.c (so |x - c|^2 = |x|^2 + 2 score).
struct ScoredEntry {
  int index;
  float score;
};

ScoredEntry scanEntriesPlain(const SearchRows& rows, const Vector6& x);
ScoredEntry scanEntriesAvx2(const SearchRows& rows, const Vector6& x);
// True when the processor runs the AVX2 build.
bool wideScanAvailable();

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
inline ScoredEntry scanEntries(const SearchRows& rows, const Vector6& v) {
  using Lanes = typename LaneTypes<kLanes>::Floats;
  using LaneInts = typename LaneTypes<kLanes>::Ints;
  Lanes x[kDims];
  for (int d = 0; d < kDims; ++d) x[d] = Lanes{} + v.c[d];
  Lanes best = Lanes{} + kInactiveScore;
  LaneInts bestIndex = {};
  LaneInts index;
  for (int lane = 0; lane < kLanes; ++lane) index[lane] = lane;
  for (int k = 0; k < kSearchEntries; k += kLanes) {
    Lanes score;
    std::memcpy(&score, &rows.halfNorms[k], sizeof score);
    for (int d = 0; d < kDims; ++d) {
      Lanes c;
      std::memcpy(&c, &rows.components[d * kSearchEntries + k], sizeof c);
      score -= x[d] * c;
    }
    // Each lane keeps its first best entry.
    const LaneInts better = score < best;
    best = better ? score : best;
    bestIndex = better ? index : bestIndex;
    index += kLanes;
  }
  ScoredEntry found{bestIndex[0], best[0]};
  for (int lane = 1; lane < kLanes; ++lane)
    if (best[lane] < found.score || (best[lane] == found.score && bestIndex[lane] < found.index))
      found = {bestIndex[lane], best[lane]};
  return found;
}

}  // namespace
}  // namespace zepra
