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

float squared(const std::uint8_t* source, const std::int16_t* shown) {
  const int dr = source[0] - shown[0], dg = source[1] - shown[1], db = source[2] - shown[2];
  return static_cast<float>(dr * dr + dg * dg + db * db);
}

// Display error of one use drawn from entry pixels `rgb`.
float useError(const SourceFrame& source, const Use& use, const EntryRgb& rgb) {
  const std::uint8_t* src = source.blockRgb(use.block);
  float error = 0.0f;
  if (use.quadrant < 0) {
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) error += squared(src + (r * 4 + c) * 3, &rgb[((r / 2) * 2 + c / 2) * 3]);
    return error;
  }
  const int top = (use.quadrant / 2) * 2, left = (use.quadrant % 2) * 2;
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c) error += squared(src + ((top + r) * 4 + left + c) * 3, &rgb[(r * 2 + c) * 3]);
  return error;
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
    before[k] += useError(source, u, book.rgb(k));
    after[k] += useError(source, u, moved.rgb(k));
  });
  for (int k = 0; k < load.count; ++k)
    if (moved.valid(k) && after[k] < before[k]) book.set(k, moved.bytes(k));
}

}  // namespace zepra
