#include "cinepak/search_table.h"

#include <algorithm>
#include <array>
#include <utility>

namespace zepra {

void orderByLuma(const SearchRows& rows, const bool* active, LumaOrder& order) {
  std::array<std::pair<double, int>, kSearchEntries> byMean;
  int count = 0;
  double largestNorm = 0.0;
  for (int k = 0; k < kSearchEntries; ++k) {
    if (!active[k]) continue;
    float c[kDims];
    double norm = 0.0;
    for (int d = 0; d < kDims; ++d) {
      c[d] = rows.components[d * kSearchEntries + k];
      norm += static_cast<double>(c[d]) * c[d];
    }
    largestNorm = std::max(largestNorm, norm);
    byMean[count++] = {meanLuma(c), k};
  }
  std::sort(byMean.begin(), byMean.begin() + count);

  order.blocks = (count + kBlockEntries - 1) / kBlockEntries;
  order.largestNorm = largestNorm;
  for (int i = 0; i < order.blocks * kBlockEntries; ++i) {
    const bool real = i < count;
    const int k = real ? byMean[i].second : 0;
    for (int d = 0; d < kDims; ++d) order.components[d][i] = real ? rows.components[d * kSearchEntries + k] : 0.0f;
    order.halfNorms[i] = real ? rows.halfNorms[k] : kInactiveScore;
    // A filler never wins a tie against a real entry.
    order.indices[i] = real ? k : kSearchEntries;
  }
  for (int b = 0; b < order.blocks; ++b) {
    order.lowestMean[b] = byMean[b * kBlockEntries].first;
    order.highestMean[b] = byMean[std::min((b + 1) * kBlockEntries, count) - 1].first;
  }
  int block = 0;
  for (int bucket = 0; bucket < kLumaBuckets; ++bucket) {
    while (block + 1 < order.blocks && order.highestMean[block] < bucket - kLumaBucketBase) ++block;
    order.startBlock[bucket] = static_cast<std::uint8_t>(block);
  }
}

SearchTable& SearchTable::operator=(const SearchTable& other) {
  if (this == &other) return *this;
  entries_ = other.entries_;
  const bool ordered = other.ordered_.load(std::memory_order_acquire);
  if (ordered) order_ = other.order_;
  ordered_.store(ordered, std::memory_order_relaxed);
  return *this;
}

void SearchTable::clear() {
  for (int d = 0; d < kDims; ++d)
    for (int k = 0; k < kEntries; ++k) entries_.components[d][k] = 0.0f;
  for (int k = 0; k < kEntries; ++k) {
    entries_.halfNorms[k] = kInactiveScore;
    entries_.active[k] = false;
  }
  changed();
}

void SearchTable::set(int index, const Vector6& v) {
  float norm = 0.0f;
  for (int d = 0; d < kDims; ++d) {
    entries_.components[d][index] = v.c[d];
    norm += v.c[d] * v.c[d];
  }
  entries_.halfNorms[index] = 0.5f * norm;
  entries_.active[index] = true;
  changed();
}

void SearchTable::deactivate(int index) {
  entries_.halfNorms[index] = kInactiveScore;
  entries_.active[index] = false;
  changed();
}

Vector6 SearchTable::vector(int index) const {
  Vector6 v;
  for (int d = 0; d < kDims; ++d) v.c[d] = entries_.components[d][index];
  return v;
}

const LumaOrder& SearchTable::lumaOrder() const {
  if (!ordered_.load(std::memory_order_acquire)) {
    std::lock_guard lock(orderMutex_);
    if (!ordered_.load(std::memory_order_relaxed)) {
      orderByLuma(rows(), entries_.active, order_);
      ordered_.store(true, std::memory_order_release);
    }
  }
  return order_;
}

ScoredEntry searchEntriesPlain(const LumaOrder& order, const Vector6& x) { return searchEntries<4>(order, x); }

bool wideSearchAvailable() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

int SearchTable::nearest(const Vector6& v, float& distance) const {
  // |x - c|^2 = |x|^2 + 2 (|c|^2 / 2 - x.c): the search minimises the bracket.
  static const auto search = wideSearchAvailable() ? searchEntriesAvx2 : searchEntriesPlain;
  const ScoredEntry best = search(lumaOrder(), v);
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
