#include "cinepak/search_table.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zepra {

namespace {
constexpr float kInactive = 1e30f;
}

void SearchTable::clear() {
  for (int d = 0; d < kDims; ++d)
    for (int k = 0; k < kEntries; ++k) comp_[d][k] = 0.0f;
  for (int k = 0; k < kEntries; ++k) {
    halfNorm_[k] = kInactive;
    active_[k] = false;
  }
}

void SearchTable::set(int index, const Vector6& v) {
  float norm = 0.0f;
  for (int d = 0; d < kDims; ++d) {
    comp_[d][index] = v.c[d];
    norm += v.c[d] * v.c[d];
  }
  halfNorm_[index] = 0.5f * norm;
  active_[index] = true;
}

void SearchTable::deactivate(int index) {
  halfNorm_[index] = kInactive;
  active_[index] = false;
}

Vector6 SearchTable::vector(int index) const {
  Vector6 v;
  for (int d = 0; d < kDims; ++d) v.c[d] = comp_[d][index];
  return v;
}

int SearchTable::nearest(const Vector6& v, float& distance) const {
  // |x - c|^2 = |x|^2 + 2 (|c|^2 / 2 - x.c): minimise the bracket, four
  // entries at a time, each lane keeping its best score and entry.
  using Lanes = float __attribute__((vector_size(16)));
  using LaneInts = std::int32_t __attribute__((vector_size(16)));
  constexpr int kLanes = 4;
  Lanes x[kDims];
  for (int d = 0; d < kDims; ++d) x[d] = Lanes{} + v.c[d];
  Lanes best = Lanes{} + kInactive;
  LaneInts bestIndex = {};
  LaneInts index = {0, 1, 2, 3};
  for (int k = 0; k < kEntries; k += kLanes) {
    Lanes score;
    std::memcpy(&score, &halfNorm_[k], sizeof score);
    for (int d = 0; d < kDims; ++d) {
      Lanes c;
      std::memcpy(&c, &comp_[d][k], sizeof c);
      score -= x[d] * c;
    }
    const LaneInts better = score < best;
    best = better ? score : best;
    bestIndex = better ? index : bestIndex;
    index += kLanes;
  }
  int found = bestIndex[0];
  float bestScore = best[0];
  for (int lane = 1; lane < kLanes; ++lane)
    if (best[lane] < bestScore || (best[lane] == bestScore && bestIndex[lane] < found)) {
      bestScore = best[lane];
      found = bestIndex[lane];
    }
  if (bestScore >= kInactive * 0.5f) {
    distance = 0.0f;
    return -1;
  }
  float norm = 0.0f;
  for (int d = 0; d < kDims; ++d) norm += v.c[d] * v.c[d];
  distance = std::max(norm + 2.0f * bestScore, 0.0f);
  return found;
}

}  // namespace zepra
