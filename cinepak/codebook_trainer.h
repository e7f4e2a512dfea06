#pragma once
// Codebook training by Lloyd iterations (k-means) in the search space.
// Entries that are active when training starts are warm starts (the
// codebook the player holds); inactive entries, and entries left without
// members, are seeded from the vectors served worst so far (a cold start
// seeds them from vectors spread evenly over the set). Deterministic: the
// same vectors and starting table always give the same codebook.

#include <cstdint>
#include <span>
#include <vector>

#include "cinepak/search_table.h"
#include "cinepak/split_loop.h"

namespace zepra {

class CodebookTrainer {
 public:
  // Sizes the work buffers for up to maxVectors vectors.
  void reserve(int maxVectors);

  // Trains entries 0..limit-1 of centroids on vectors with `iterations`
  // rounds of assignment and update (at least one; new entries need two).
  // The vectors are assigned on the loop's threads.
  void train(std::span<const Vector6> vectors, SearchTable& centroids, int limit, int iterations, SplitLoop& loop);

  // Each vector's entry after training (-1 when there were no entries).
  std::span<const int> assignment() const { return {assignment_.data(), count_}; }
  // Each vector's squared distance to the nearest entry it started with
  // (a warm start: what the player's codebook gives it), huge when none.
  std::span<const float> startDistances() const { return {startDistance_.data(), count_}; }
  // Each vector's nearest entry when training started (-1 when none).
  std::span<const int> startAssignment() const { return {startAssignment_.data(), count_}; }

 private:
  void seedEvenly(std::span<const Vector6> vectors, SearchTable& centroids, int limit);
  void seedFromErrors(std::span<const Vector6> vectors, SearchTable& centroids, int limit);
  void assign(std::span<const Vector6> vectors, const SearchTable& centroids, SplitLoop& loop);
  void update(std::span<const Vector6> vectors, SearchTable& centroids, int limit);

  std::size_t count_ = 0;
  std::vector<int> assignment_;
  std::vector<float> distance_;
  std::vector<float> startDistance_;
  std::vector<int> startAssignment_;
  std::vector<int> order_;
  std::vector<double> sums_;  // kDims per entry
  std::vector<int> members_;
  std::vector<int> seeded_;  // vectors seeded in the current round
};

}  // namespace zepra
