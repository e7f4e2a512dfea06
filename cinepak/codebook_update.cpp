#include "cinepak/codebook_update.h"

#include "format/cinepak.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zepra {

namespace {

std::uint8_t clampByte(float v, int lo, int hi) {
  const int r = static_cast<int>(std::lround(v));
  return static_cast<std::uint8_t>(std::clamp(r, lo, hi));
}

constexpr float kUnreachable = 1e30f;

}  // namespace

EntryBytes quantizeEntry(const Vector6& centroid, bool grey) {
  EntryBytes bytes{};
  float shift = 0.0f;
  if (!grey) {
    bytes[4] = clampByte(centroid.c[4] / kUScale, -128, 127);
    bytes[5] = clampByte(centroid.c[5] / kVScale, -128, 127);
    // Luma from the rounded chroma, so the rounding is compensated.
    shift = lumaShift(static_cast<std::int8_t>(bytes[4]), static_cast<std::int8_t>(bytes[5]));
  }
  for (int k = 0; k < 4; ++k) bytes[k] = clampByte(centroid.c[k] - shift, 0, 255);
  return bytes;
}

CodebookLoad loadAll(const TrainedCodebook& trained, bool grey, Codebook& result) {
  result.clear();
  CodebookLoad load;
  load.full = true;
  for (int k = 0; k < SearchTable::kEntries; ++k)
    if (trained.centroids->active(k)) result.set(load.count++, quantizeEntry(trained.centroids->vector(k), grey));
  return load;
}

CodebookLoad loadChanges(const TrainedCodebook& trained, const Codebook& current, float lambda, std::size_t maxBytes,
                         bool grey, Codebook& result) {
  constexpr int kEntries = SearchTable::kEntries;
  std::array<EntryBytes, kEntries> proposed{};
  std::array<Vector6, kEntries> proposedVector{};
  std::array<float, kEntries> benefit{};
  std::array<bool, kEntries> candidate{};
  for (int k = 0; k < kEntries; ++k) {
    if (!trained.centroids->active(k)) continue;
    proposed[k] = quantizeEntry(trained.centroids->vector(k), grey);
    candidate[k] = !current.valid(k) || proposed[k] != current.bytes(k);
    proposedVector[k] = entryVector(proposed[k].data());
  }
  // A ceiling already holds the bits of every option of the vector's block,
  // so a saving below it is the block's own gain; without one, the entry
  // must also pay for recoding the block.
  const float recodeCost = trained.ceiling.empty() ? lambda * trained.bitsPerVector : 0.0f;
  for (std::size_t i = 0; i < trained.vectors.size(); ++i) {
    const Vector6& x = trained.vectors[i];
    const float ceiling = trained.ceiling.empty() ? kUnreachable : trained.ceiling[i];
    const float start = std::min(trained.startDistance[i], ceiling);
    const int k = trained.assignment[i];
    const int s = trained.startAssignment[i];
    if (k >= 0 && candidate[k]) {
      const float saved = (start - std::min(squaredDistance(x, proposedVector[k]), ceiling)) * trained.distanceToRgb;
      if (saved > recodeCost) {
        benefit[k] += saved - recodeCost;
      } else if (saved < 0.0f && s == k) {
        benefit[k] += saved;  // the new value serves this vector worse than the old one
      }
    }
    if (s >= 0 && s != k && candidate[s] && current.valid(s)) {
      const float lost = (std::min(squaredDistance(x, proposedVector[s]), ceiling) - start) * trained.distanceToRgb;
      if (lost > 0.0f) benefit[s] -= lost;
    }
  }
  std::array<int, kEntries> order;
  int worth = 0;
  const std::size_t entrySize = grey ? 4 : 6;
  for (int k = 0; k < kEntries; ++k)
    if (candidate[k] && benefit[k] > lambda * 8.0f * entrySize) order[worth++] = k;
  std::sort(order.begin(), order.begin() + worth,
            [&](int a, int b) { return benefit[a] != benefit[b] ? benefit[a] > benefit[b] : a < b; });
  // Bytes of a partial update at most: header, all flag words, the entries.
  const std::size_t overhead = kChunkHeaderSize + 4 * (kEntries / 32);
  const std::size_t affordable = maxBytes > overhead ? (maxBytes - overhead) / entrySize : 0;
  worth = std::min<int>(worth, static_cast<int>(affordable));
  result = current;
  CodebookLoad load;
  for (int i = 0; i < worth; ++i) {
    const int k = order[i];
    result.set(k, proposed[k]);
    load.send.set(k);
    load.count = std::max(load.count, k + 1);
  }
  if (load.count == 0) return load;
  // A full load of the prefix costs no flag words; it re-sends the entries in
  // between unchanged, which grey chunks can only do for grey entries.
  bool prefixFits = true;
  for (int k = 0; k < load.count && prefixFits; ++k)
    prefixFits = result.valid(k) && (!grey || (result.bytes(k)[4] == 0 && result.bytes(k)[5] == 0));
  CodebookLoad full;
  full.full = true;
  full.count = load.count;
  if (prefixFits && codebookChunkSize(full, grey) <= codebookChunkSize(load, grey)) return full;
  return load;
}

}  // namespace zepra
