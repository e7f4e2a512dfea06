// The nearest-entry scan's AVX2 build against its plain build, and the
// search table against a straightforward search, on random tables and on
// tables made to trip a careless scan: ties, duplicates, inactive entries,
// a single entry in any lane, extreme values.
#include "cinepak/nearest_entry.h"

#include <gtest/gtest.h>

#include <random>

#include "cinepak/search_table.h"

namespace zepra {
namespace {

Vector6 randomVector(std::mt19937& random, float spread) {
  std::uniform_real_distribution<float> value(-spread, spread);
  Vector6 v;
  for (float& c : v.c) c = value(random);
  return v;
}

struct TableCase {
  const char* name;
  int active;        // entries set, from a random start
  int distinct;      // distinct vectors among them (the rest repeat them: ties)
  float spread;
  bool gaps;         // every other entry deactivated again
};

const TableCase kTables[] = {
    {"full random", 256, 256, 255.0f, false},
    {"one entry", 1, 1, 255.0f, false},
    {"seven entries", 7, 7, 60.0f, false},
    {"many ties", 256, 5, 255.0f, false},
    {"all equal", 256, 1, 255.0f, false},
    {"gaps", 256, 256, 255.0f, true},
    {"huge values", 256, 256, 1e6f, false},
    {"tiny values", 256, 256, 1e-3f, false},
};

TEST(NearestEntry, WideScanPicksWhatThePlainScanPicks) {
  if (!wideScanAvailable()) GTEST_SKIP() << "this processor has no AVX2";
  std::mt19937 random(99);
  for (const TableCase& c : kTables) {
    for (int start : {0, 3, 250}) {
      SearchTable table;
      std::vector<Vector6> distinct;
      for (int i = 0; i < c.distinct; ++i) distinct.push_back(randomVector(random, c.spread));
      for (int i = 0; i < c.active; ++i) table.set((start + i) % 256, distinct[i % c.distinct]);
      if (c.gaps)
        for (int k = 0; k < 256; k += 2) table.deactivate(k);
      for (int q = 0; q < 300; ++q) {
        // Queries on entries (exact ties between duplicates) and between them.
        const Vector6 x = q % 3 == 0 ? distinct[q % c.distinct] : randomVector(random, c.spread);
        const ScoredEntry plain = scanEntriesPlain(table.rows(), x);
        const ScoredEntry wide = scanEntriesAvx2(table.rows(), x);
        ASSERT_EQ(plain.index, wide.index) << c.name << " start " << start << " query " << q;
        ASSERT_EQ(plain.score, wide.score) << c.name << " start " << start << " query " << q;
      }
    }
  }
}

TEST(NearestEntry, TableFindsTheNearestActiveEntryAndTheLowestOfTies) {
  std::mt19937 random(5);
  for (const TableCase& c : kTables) {
    if (c.spread > 1000.0f || c.spread < 1.0f) continue;  // float scores cannot order these exactly
    SearchTable table;
    std::vector<Vector6> distinct;
    for (int i = 0; i < c.distinct; ++i) distinct.push_back(randomVector(random, c.spread));
    for (int i = 0; i < c.active; ++i) table.set(i, distinct[i % c.distinct]);
    if (c.gaps)
      for (int k = 0; k < 256; k += 2) table.deactivate(k);
    for (int q = 0; q < 200; ++q) {
      const Vector6 x = q % 2 == 0 ? distinct[q % c.distinct] : randomVector(random, c.spread);
      // The table's distance comes from |x|^2 + 2 score, good to float precision of |x|^2.
      const float tolerance = 1e-5f * (squaredDistance(x, Vector6{}) + 1.0f);
      int expected = -1;
      float best = 0;
      for (int k = 0; k < 256; ++k) {
        if (!table.active(k)) continue;
        const float d = squaredDistance(x, table.vector(k));
        if (expected < 0 || d < best - tolerance) {
          expected = k;
          best = d;
        }
      }
      float distance = -1;
      const int found = table.nearest(x, distance);
      ASSERT_GE(found, 0) << c.name;
      // Near-ties may go either way in float; the distance must still be the best.
      EXPECT_NEAR(distance, best, tolerance) << c.name << " query " << q;
      if (q % 2 == 0 && c.distinct < c.active) {
        EXPECT_EQ(found, expected) << c.name << " exact tie " << q;
      }
    }
  }
  SearchTable empty;
  float distance = -1;
  EXPECT_EQ(empty.nearest(Vector6{}, distance), -1);
}

}  // namespace
}  // namespace zepra
