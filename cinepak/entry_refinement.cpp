#include "cinepak/entry_refinement.h"

#include <array>

#include "cinepak/codebook_update.h"

namespace zepra {

namespace {

constexpr int kEntries = Codebook::kEntries;

// One use of an entry: block b, and for V4 the quadrant drawn from it.
struct Use {
  int block;
  int quadrant;  // -1 for a V1 use (the whole block)
};

float useError(const SourceFrame& source, const Use& use, const Codebook& book, int entry) {
  return use.quadrant < 0 ? v1Error(source, use.block, book, entry)
                          : quadrantError(source, use.block, use.quadrant, book.rgb(entry));
}

bool sent(const CodebookLoad& load, int k) { return k < load.count && (load.full || load.send.test(k)); }

// Calls f(entry, use) for every use the choices make of `kind`'s book.
template <typename F>
void forEachUse(std::span<const BlockChoice> choices, BlockKind kind, F f) {
  for (std::size_t b = 0; b < choices.size(); ++b) {
    const BlockChoice& c = choices[b];
    if (c.kind != kind) continue;
    const int block = static_cast<int>(b);
    if (kind == BlockKind::kV1) {
      f(c.index[0], Use{block, -1});
    } else {
      for (int q = 0; q < 4; ++q) f(c.index[q], Use{block, q});
    }
  }
}

}  // namespace

void refineSentEntries(const SourceFrame& source, std::span<const BlockChoice> choices, BlockKind kind,
                       const CodebookLoad& load, bool grey, Codebook& book) {
  if (load.empty()) return;
  std::array<Vector6, kEntries> sums{};
  std::array<int, kEntries> users{};
  forEachUse(choices, kind, [&](int k, const Use& u) {
    const Vector6& v = u.quadrant < 0 ? source.v1Vector(u.block) : source.v4Vector(u.block, u.quadrant);
    for (int d = 0; d < kDims; ++d) sums[k].c[d] += v.c[d];
    ++users[k];
  });
  Codebook moved;  // the moved values of the entries worth trying
  bool any = false;
  for (int k = 0; k < load.count; ++k) {
    if (!sent(load, k) || users[k] == 0) continue;
    Vector6 mean;
    for (int d = 0; d < kDims; ++d) mean.c[d] = sums[k].c[d] / static_cast<float>(users[k]);
    const EntryBytes bytes = quantizeEntry(mean, grey);
    if (bytes == book.bytes(k)) continue;
    moved.set(k, bytes);
    any = true;
  }
  if (!any) return;
  std::array<float, kEntries> before{}, after{};
  forEachUse(choices, kind, [&](int k, const Use& u) {
    if (!moved.valid(k)) return;
    before[k] += useError(source, u, book, k);
    after[k] += useError(source, u, moved, k);
  });
  for (int k = 0; k < load.count; ++k)
    if (moved.valid(k) && after[k] < before[k]) book.set(k, moved.bytes(k));
}

}  // namespace zepra
