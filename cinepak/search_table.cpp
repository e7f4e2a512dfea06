#include "cinepak/search_table.h"

#include <algorithm>

namespace zepra {

void SearchTable::clear() {
  for (int d = 0; d < kDims; ++d)
    for (int k = 0; k < kEntries; ++k) comp_[d][k] = 0.0f;
  for (int k = 0; k < kEntries; ++k) {
    halfNorm_[k] = kInactiveScore;
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
  halfNorm_[index] = kInactiveScore;
  active_[index] = false;
}

Vector6 SearchTable::vector(int index) const {
  Vector6 v;
  for (int d = 0; d < kDims; ++d) v.c[d] = comp_[d][index];
  return v;
}

ScoredEntry scanEntriesPlain(const SearchRows& rows, const Vector6& x) { return scanEntries<4>(rows, x); }

bool wideScanAvailable() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

int SearchTable::nearest(const Vector6& v, float& distance) const {
  // |x - c|^2 = |x|^2 + 2 (|c|^2 / 2 - x.c): the scan minimises the bracket.
  static const auto scan = wideScanAvailable() ? scanEntriesAvx2 : scanEntriesPlain;
  const ScoredEntry best = scan(rows(), v);
  if (best.score >= kInactiveScore * 0.5f) {
    distance = 0.0f;
    return -1;
  }
  float norm = 0.0f;
  for (int d = 0; d < kDims; ++d) norm += v.c[d] * v.c[d];
  distance = std::max(norm + 2.0f * best.score, 0.0f);
  return best.index;
}

}  // namespace zepra
