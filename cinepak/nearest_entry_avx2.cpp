// The nearest-entry search eight entries at a time (this unit alone is built
// for AVX2, without fused multiply-add, so scores equal the plain build's).

#include "cinepak/nearest_entry.h"

namespace zepra {

ScoredEntry searchEntriesAvx2(const LumaOrder& order, const Vector6& x) { return searchEntries<8>(order, x); }

}  // namespace zepra
