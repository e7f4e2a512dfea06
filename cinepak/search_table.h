#pragma once
// Up to 256 vectors of the search space with a fast exact nearest-vector
// search: the active entries are kept ordered by mean luma, so a search
// scores only the entries whose luma could still beat the best found.
// Inactive entries are never chosen.
//
// The ordering is made by the first search after a change, under a lock, so
// searches may run on several threads at once; changes must not run beside
// searches.

#include <atomic>
#include <mutex>

#include "cinepak/nearest_entry.h"
#include "cinepak/vector_space.h"

namespace zepra {

class SearchTable {
 public:
  static constexpr int kEntries = kSearchEntries;

  SearchTable() { clear(); }
  SearchTable(const SearchTable& other) { *this = other; }
  SearchTable& operator=(const SearchTable& other);

  void clear();
  void set(int index, const Vector6& v);
  void deactivate(int index);
  bool active(int index) const { return entries_.active[index]; }
  Vector6 vector(int index) const;
  // Index of the active entry nearest to v (-1 when none is active) and the
  // squared distance to it.
  int nearest(const Vector6& v, float& distance) const;
  // The entries in index order.
  SearchRows rows() const { return {&entries_.components[0][0], entries_.halfNorms}; }
  // The entries as the search reads them.
  const LumaOrder& lumaOrder() const;

 private:
  struct Entries {
    float components[kDims][kEntries];
    float halfNorms[kEntries];  // |c|^2 / 2; kInactiveScore for inactive entries
    bool active[kEntries];
  };

  void changed() { ordered_.store(false, std::memory_order_relaxed); }

  Entries entries_;
  mutable LumaOrder order_;
  mutable std::atomic<bool> ordered_{false};
  mutable std::mutex orderMutex_;
};

}  // namespace zepra
