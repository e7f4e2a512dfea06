// The nearest-entry search against an exhaustive scan that scores every
// active entry with the same float operations, its AVX2 build against its
// plain build, and the table against a straightforward search, on random
// tables and on tables made to trip a careless search: ties across blocks,
// duplicates, inactive entries, a single entry in any position, entries all
// of one luma, a luma ladder numbered against its order, extreme values.
#include "cinepak/nearest_entry.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "cinepak/search_table.h"

namespace zepra {
namespace {

Vector6 randomVector(std::mt19937& random, float spread) {
  std::uniform_real_distribution<float> value(-spread, spread);
  Vector6 v;
  for (float& c : v.c) c = value(random);
  return v;
}

enum class Shape { kRandom, kOneLuma, kLadder };

struct TableCase {
  const char* name;
  int active;        // entries set, from a start index
  int distinct;      // distinct vectors among them (the rest repeat them: ties)
  float spread;
  bool gaps;         // every other entry deactivated again
  Shape shape = Shape::kRandom;
};

const TableCase kTables[] = {
    {"full random", 256, 256, 255.0f, false},
    {"one entry", 1, 1, 255.0f, false},
    {"seven entries", 7, 7, 60.0f, false},
    {"nine entries", 9, 9, 60.0f, false},
    {"many ties", 256, 5, 255.0f, false},
    {"all equal", 256, 1, 255.0f, false},
    {"gaps", 256, 256, 255.0f, true},
    {"huge values", 256, 256, 1e6f, false},
    {"tiny values", 256, 256, 1e-3f, false},
    // Every entry of the same mean luma: no bound can leave any out.
    {"one luma", 256, 256, 100.0f, false, Shape::kOneLuma},
    // Means one apart, numbered downwards: a query half-way between two
    // entries ties them, and the lower index is the later one in the order.
    {"luma ladder", 256, 256, 0.0f, false, Shape::kLadder},
};

// The table's vectors: kDistinct of them, shaped as the case says.
std::vector<Vector6> tableVectors(std::mt19937& random, const TableCase& c) {
  std::vector<Vector6> vectors;
  for (int i = 0; i < c.distinct; ++i) {
    Vector6 v = randomVector(random, c.spread);
    if (c.shape == Shape::kOneLuma) {
      const float shift = 50.0f - (v.c[0] + v.c[1] + v.c[2] + v.c[3]) / 4;
      for (int d = 0; d < 4; ++d) v.c[d] += shift;
    } else if (c.shape == Shape::kLadder) {
      v = {{255.0f - i, 255.0f - i, 255.0f - i, 255.0f - i, 0.0f, 0.0f}};
    }
    vectors.push_back(v);
  }
  return vectors;
}

void fill(SearchTable& table, const TableCase& c, const std::vector<Vector6>& distinct, int start) {
  for (int i = 0; i < c.active; ++i) table.set((start + i) % 256, distinct[i % c.distinct]);
  if (c.gaps)
    for (int k = 0; k < 256; k += 2) table.deactivate(k);
}

// Queries on entries (exact ties between duplicates), half-way between two
// of them (ties on the ladder) and anywhere around them.
Vector6 query(std::mt19937& random, const TableCase& c, const std::vector<Vector6>& distinct, int q) {
  const Vector6& a = distinct[q % c.distinct];
  if (q % 3 == 0) return a;
  if (q % 3 == 1) {
    const Vector6& b = distinct[(q + 1) % c.distinct];
    Vector6 middle;
    for (int d = 0; d < kDims; ++d) middle.c[d] = (a.c[d] + b.c[d]) * 0.5f;
    return middle;
  }
  return randomVector(random, c.spread == 0.0f ? 300.0f : c.spread * 1.2f);
}

// Every active entry scored as the search scores it; the lowest score wins,
// and of equal scores the lowest index.
ScoredEntry exhaustiveSearch(const SearchTable& table, const Vector6& x) {
  const SearchRows rows = table.rows();
  ScoredEntry best{-1, kInactiveScore};
  for (int k = 0; k < kSearchEntries; ++k) {
    if (!table.active(k)) continue;
    float score = rows.halfNorms[k];
    for (int d = 0; d < kDims; ++d) score -= x.c[d] * rows.components[d * kSearchEntries + k];
    if (best.index < 0 || score < best.score) best = {k, score};
  }
  return best;
}

TEST(NearestEntry, SearchFindsWhatAnExhaustiveScanFinds) {
  std::mt19937 random(99);
  for (const TableCase& c : kTables) {
    for (int start : {0, 3, 250}) {
      SearchTable table;
      const std::vector<Vector6> distinct = tableVectors(random, c);
      fill(table, c, distinct, start);
      for (int q = 0; q < 300; ++q) {
        const Vector6 x = query(random, c, distinct, q);
        const ScoredEntry expected = exhaustiveSearch(table, x);
        ASSERT_GE(expected.index, 0);
        const ScoredEntry plain = searchEntriesPlain(table.lumaOrder(), x);
        ASSERT_EQ(plain.index, expected.index) << c.name << " start " << start << " query " << q;
        ASSERT_EQ(plain.score, expected.score) << c.name << " start " << start << " query " << q;
        if (wideSearchAvailable()) {
          const ScoredEntry wide = searchEntriesAvx2(table.lumaOrder(), x);
          ASSERT_EQ(wide.index, expected.index) << c.name << " start " << start << " query " << q;
          ASSERT_EQ(wide.score, expected.score) << c.name << " start " << start << " query " << q;
        }
      }
    }
  }
}

// Entries shifted from the query by the same amount in all four lumas meet
// the luma bound exactly; entries off in colour by nearly the same distance
// tie with them but for rounding. Only the bound's margin for the rounding
// of float scores keeps the search from leaving out the one that wins.
TEST(NearestEntry, SearchIsExactWhereTheLumaBoundIsTight) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  for (int trial = 0; trial < 100; ++trial) {
    Vector6 x;
    for (float& c : x.c) c = 200.0f * unit(random);
    SearchTable table;
    for (int k = 0; k < 256; ++k) {
      Vector6 c = x;
      const float gap = 3.0f + 0.001f * unit(random);
      if (k % 2 == 0) {
        const float shift = (k % 4 == 0 ? 1.0f : -1.0f) * (gap + 8.0f * (k / 64));
        for (int d = 0; d < 4; ++d) c.c[d] += shift;
      } else {
        const float length = 2.0f * gap * (1.0f + 1e-7f * unit(random));
        c.c[4] += 0.6f * length;
        c.c[5] += 0.8f * length;
      }
      table.set(k, c);
    }
    const ScoredEntry expected = exhaustiveSearch(table, x);
    const ScoredEntry found = searchEntriesPlain(table.lumaOrder(), x);
    ASSERT_EQ(found.index, expected.index) << "trial " << trial;
    ASSERT_EQ(found.score, expected.score) << "trial " << trial;
  }
}

TEST(NearestEntry, ChangesAndCopiesReachTheSearch) {
  std::mt19937 random(7);
  SearchTable table;
  for (int k = 0; k < 256; ++k) table.set(k, randomVector(random, 255.0f));
  const Vector6 x = randomVector(random, 255.0f);
  float distance = 0;
  const int first = table.nearest(x, distance);
  // The entry found is moved away, another takes the query's place, one is
  // dropped: each change must show in the next search and in a copy.
  table.set(first, Vector6{{-900, -900, -900, -900, 0, 0}});
  EXPECT_NE(table.nearest(x, distance), first);
  table.set(17, x);
  EXPECT_EQ(table.nearest(x, distance), 17);
  EXPECT_NEAR(distance, 0.0f, 0.01f);
  const SearchTable copy = table;
  table.deactivate(17);
  EXPECT_NE(table.nearest(x, distance), 17);
  EXPECT_EQ(copy.nearest(x, distance), 17);
  SearchTable assigned;
  assigned = table;
  EXPECT_EQ(assigned.nearest(x, distance), table.nearest(x, distance));
  table.clear();
  EXPECT_EQ(table.nearest(x, distance), -1);
}

TEST(NearestEntry, TableFindsTheNearestActiveEntryAndTheLowestOfTies) {
  std::mt19937 random(5);
  for (const TableCase& c : kTables) {
    if (c.spread > 1000.0f || (c.spread < 1.0f && c.shape == Shape::kRandom)) continue;  // float scores cannot order these exactly
    SearchTable table;
    const std::vector<Vector6> distinct = tableVectors(random, c);
    fill(table, c, distinct, 0);
    for (int q = 0; q < 200; ++q) {
      const Vector6 x = q % 2 == 0 ? distinct[q % c.distinct] : randomVector(random, 255.0f);
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
