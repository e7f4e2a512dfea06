#include "cinepak/codebook_trainer.h"

#include <algorithm>

namespace zepra {

namespace {

constexpr float kNoEntry = 1e30f;
// A seed closer to an earlier one than this share of its own error is passed over.
constexpr float kSeedSpacing = 0.25f;
// Vectors sorted before the first seed beyond twice the empty entries: some
// are passed over as near an earlier seed.
constexpr int kFirstSortedSlice = 32;

}  // namespace

void CodebookTrainer::reserve(int maxVectors) {
  assignment_.assign(maxVectors, -1);
  distance_.assign(maxVectors, 0.0f);
  startDistance_.assign(maxVectors, 0.0f);
  startAssignment_.assign(maxVectors, -1);
  order_.assign(maxVectors, 0);
  sums_.assign(static_cast<std::size_t>(SearchTable::kEntries) * kDims, 0.0);
  members_.assign(SearchTable::kEntries, 0);
  seeded_.reserve(SearchTable::kEntries);
}

void CodebookTrainer::train(std::span<const Vector6> vectors, SearchTable& centroids, int limit,
                            int iterations, SplitLoop& loop) {
  count_ = std::min(vectors.size(), assignment_.size());
  vectors = vectors.first(count_);
  if (count_ == 0) return;
  bool anyActive = false;
  for (int k = 0; k < limit && !anyActive; ++k) anyActive = centroids.active(k);
  if (!anyActive) seedEvenly(vectors, centroids, limit);
  iterations = std::max(iterations, 1);
  for (int i = 0; i < iterations; ++i) {
    assign(vectors, centroids, loop);
    if (i == 0) {
      std::copy(distance_.begin(), distance_.begin() + count_, startDistance_.begin());
      std::copy(assignment_.begin(), assignment_.begin() + count_, startAssignment_.begin());
    }
    update(vectors, centroids, limit);
    // An entry seeded now would serve a single vector: only between rounds.
    if (i + 1 < iterations) seedFromErrors(vectors, centroids, limit);
  }
}

void CodebookTrainer::seedEvenly(std::span<const Vector6> vectors, SearchTable& centroids, int limit) {
  const long n = static_cast<long>(vectors.size());
  const long take = std::min<long>(limit, n);
  for (long i = 0; i < take; ++i) centroids.set(static_cast<int>(i), vectors[(i * n + n / 2) / take]);
}

// Entries without members take the vectors served worst, which then belong
// to them. A vector close to one seeded in the same round is passed over:
// alike vectors (a flat area) would otherwise take many entries, all but one
// of which end up without members.
void CodebookTrainer::seedFromErrors(std::span<const Vector6> vectors, SearchTable& centroids, int limit) {
  int empty = 0;
  for (int k = 0; k < limit; ++k) empty += centroids.active(k) ? 0 : 1;
  const int n = static_cast<int>(vectors.size());
  if (std::min(empty, n) == 0) return;
  for (int i = 0; i < n; ++i) order_[i] = i;
  // Worst first, ties by index: a strict order, so the head is the same
  // however much of the rest is sorted. Seeding reads only a head about as
  // long as the empty entries, so the order is sorted a slice at a time.
  const auto worse = [&](int a, int b) { return distance_[a] != distance_[b] ? distance_[a] > distance_[b] : a < b; };
  int sorted = 0;
  const auto sortThrough = [&](int count) {
    const auto head = order_.begin() + sorted, end = order_.begin() + count, rest = order_.begin() + n;
    std::nth_element(head, end, rest, worse);
    std::sort(head, end, worse);
    sorted = count;
  };
  seeded_.clear();
  int next = 0;
  for (int k = 0; k < limit && next < n; ++k) {
    if (centroids.active(k)) continue;
    int i = -1;
    while (next < n && i < 0) {
      if (next == sorted) sortThrough(std::min(n, std::max(2 * sorted, kFirstSortedSlice + 2 * empty)));
      const int c = order_[next++];
      if (distance_[c] <= 0.0f) {
        next = n;  // every vector left is already matched exactly
        break;
      }
      bool near = false;
      for (std::size_t s = 0; s < seeded_.size() && !near; ++s)
        near = squaredDistance(vectors[c], vectors[seeded_[s]]) < kSeedSpacing * distance_[c];
      if (!near) i = c;
    }
    if (i < 0) break;
    centroids.set(k, vectors[i]);
    seeded_.push_back(i);
    assignment_[i] = k;
    distance_[i] = 0.0f;
  }
}

void CodebookTrainer::assign(std::span<const Vector6> vectors, const SearchTable& centroids, SplitLoop& loop) {
  loop.run(static_cast<int>(vectors.size()), [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      assignment_[i] = centroids.nearest(vectors[i], distance_[i]);
      if (assignment_[i] < 0) distance_[i] = kNoEntry;
    }
  });
}

void CodebookTrainer::update(std::span<const Vector6> vectors, SearchTable& centroids, int limit) {
  std::fill(sums_.begin(), sums_.end(), 0.0);
  std::fill(members_.begin(), members_.end(), 0);
  for (std::size_t i = 0; i < vectors.size(); ++i) {
    const int k = assignment_[i];
    if (k < 0) continue;
    ++members_[k];
    double* sum = &sums_[static_cast<std::size_t>(k) * kDims];
    for (int d = 0; d < kDims; ++d) sum[d] += vectors[i].c[d];
  }
  for (int k = 0; k < limit; ++k) {
    if (members_[k] == 0) {
      centroids.deactivate(k);
      continue;
    }
    Vector6 mean;
    const double* sum = &sums_[static_cast<std::size_t>(k) * kDims];
    for (int d = 0; d < kDims; ++d) mean.c[d] = static_cast<float>(sum[d] / members_[k]);
    centroids.set(k, mean);
  }
}

}  // namespace zepra
