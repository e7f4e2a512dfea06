// The nearest-entry scan eight entries at a time (this unit alone is built
// for AVX2, without fused multiply-add, so scores equal the plain build's).

#include "cinepak/nearest_entry.h"

namespace zepra {

ScoredEntry scanEntriesAvx2(const SearchRows& rows, const Vector6& x) { return scanEntries<8>(rows, x); }

}  // namespace zepra
