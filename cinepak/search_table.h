#pragma once
// Up to 256 vectors of the search space laid out for a fast exhaustive
// nearest-vector search: components in separate rows so the scoring loop runs
// over many entries at once, inactive entries never chosen.

#include "cinepak/nearest_entry.h"
#include "cinepak/vector_space.h"

namespace zepra {

class SearchTable {
 public:
  static constexpr int kEntries = kSearchEntries;

  SearchTable() { clear(); }
  void clear();
  void set(int index, const Vector6& v);
  void deactivate(int index);
  bool active(int index) const { return active_[index]; }
  Vector6 vector(int index) const;
  // Index of the active entry nearest to v (-1 when none is active) and the
  // squared distance to it.
  int nearest(const Vector6& v, float& distance) const;
  // The rows the scan reads.
  SearchRows rows() const { return {&comp_[0][0], halfNorm_}; }

 private:
  alignas(32) float comp_[kDims][kEntries];
  alignas(32) float halfNorm_[kEntries];  // |c|^2 / 2; huge for inactive entries
  bool active_[kEntries];
};

}  // namespace zepra
