// The compressor's codebook decisions on their own: where training seeds new
// entries, which inter updates are worth sending, how the entries a frame
// sends follow the blocks that use them, and how alike blocks share a budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "cinepak/codebook_trainer.h"
#include "cinepak/codebook_update.h"
#include "cinepak/entry_refinement.h"
#include "cinepak/frame_budget.h"

namespace zepra {
namespace {

Vector6 flat(float luma, float u = 0.0f, float v = 0.0f) { return {{luma, luma, luma, luma, u, v}}; }

// Training that starts from one entry must not spend its new entries on
// copies of one vector: a flat area served badly offers many alike vectors.
TEST(CodebookTraining, NewEntriesGoToUnlikeVectors) {
  const Vector6 kinds[] = {flat(20), flat(90), flat(160), flat(230, 30, -30)};
  std::vector<Vector6> vectors;
  for (int copy = 0; copy < 50; ++copy)
    for (const Vector6& k : kinds) vectors.push_back(k);
  SearchTable centroids;
  centroids.set(0, kinds[0]);
  CodebookTrainer trainer;
  trainer.reserve(static_cast<int>(vectors.size()));
  SplitLoop loop(1);
  trainer.train(vectors, centroids, 8, 3, loop);
  for (std::size_t i = 0; i < vectors.size(); ++i) {
    float distance = 0.0f;
    ASSERT_GE(centroids.nearest(vectors[i], distance), 0);
    EXPECT_LT(distance, 1.0f) << "vector " << i << " has no entry of its own";
  }
}

// New entries go to the worst-served vectors that are unlike earlier seeds,
// however many alike vectors come before them in the worst-first order.
TEST(CodebookTraining, SeedingLooksPastAnyRunOfAlikeWorstVectors) {
  for (const int alike : {3, 40, 100, 700}) {
    std::vector<Vector6> vectors(1000, flat(0));
    vectors.insert(vectors.end(), alike, flat(250));
    vectors.push_back(flat(125));
    SearchTable centroids;
    centroids.set(0, flat(0));
    CodebookTrainer trainer;
    trainer.reserve(static_cast<int>(vectors.size()));
    SplitLoop loop(1);
    trainer.train(vectors, centroids, 3, 2, loop);
    float distance = 0.0f;
    ASSERT_GE(centroids.nearest(flat(125), distance), 0);
    EXPECT_LT(distance, 1.0f) << alike << " alike vectors served worse";
  }
}

// One proposed V1 entry for blocks whose player entry is far off. It is sent
// unless the blocks have something at least as good without it.
TEST(CodebookTraining, AnUpdateIsSentOnlyWhereItBeatsTheBlocksOtherOptions) {
  const Vector6 wanted = flat(120, 10, 10);
  Codebook current;
  current.set(0, quantizeEntry(flat(40), false));
  SearchTable centroids;
  centroids.set(0, wanted);
  const std::vector<Vector6> vectors(20, wanted);
  const std::vector<int> assignment(vectors.size(), 0);
  float startDistance = 0.0f;
  current.search().nearest(wanted, startDistance);
  const std::vector<float> start(vectors.size(), startDistance);
  struct Case { const char* what; float ceiling; bool sent; };
  const Case cases[] = {
      {"no other option", -1.0f, true},
      {"skipping is as good", 0.0f, false},
      {"the other option is half as far", startDistance / 2, true},
  };
  for (const Case& c : cases) {
    const std::vector<float> ceiling(vectors.size(), c.ceiling);
    TrainedCodebook trained{&centroids, vectors, assignment, assignment, start, kV1DistanceToRgb, 10.0f};
    if (c.ceiling >= 0.0f) trained.ceiling = ceiling;
    Codebook result;
    const CodebookLoad load = loadChanges(trained, current, 1.0f, 10000, false, result);
    EXPECT_EQ(!load.empty(), c.sent) << c.what;
  }
}

// Blocks coded V1 whatever their entry (their other options are far worse):
// an entry a little better for each of many of them pays for its bytes,
// though it saves each block less than the block's bits.
TEST(CodebookTraining, SmallSavingsOnBlocksCodedV1AnywayAddUp) {
  const EntryBytes better = quantizeEntry(flat(120), false);
  EntryBytes held = better;
  held[0] += 1;  // one luma step off: a distance of 1 from every vector
  Codebook current;
  current.set(0, held);
  SearchTable centroids;
  centroids.set(0, entryVector(better.data()));
  const std::vector<Vector6> vectors(20, entryVector(better.data()));
  const std::vector<int> assignment(vectors.size(), 0);
  const std::vector<float> start(vectors.size(), 1.0f);
  const std::vector<float> ceiling(vectors.size(), 1000.0f);
  // At a price of 2 a block's 10 bits cost 20 and each block saves 12; the
  // 20 blocks together save 240 against the entry's 96.
  TrainedCodebook trained{&centroids, vectors, assignment, assignment, start, kV1DistanceToRgb, 10.0f};
  trained.ceiling = ceiling;
  Codebook result;
  const CodebookLoad load = loadChanges(trained, current, 2.0f, 10000, false, result);
  ASSERT_FALSE(load.empty());
  EXPECT_EQ(result.bytes(0), better);
}

// A 16 x 4 frame of four flat blocks in one colour (bottom-up BGR).
SourceFrame flatFrame(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  std::vector<std::uint8_t> bgr;
  for (int i = 0; i < 16 * 4; ++i) bgr.insert(bgr.end(), {b, g, r});
  SourceFrame frame;
  frame.resize(16, 4);
  frame.load(bgr.data());
  return frame;
}

TEST(CodebookTraining, SentEntriesMoveToTheBlocksThatUseThem) {
  const SourceFrame frame = flatFrame(200, 120, 60);
  const EntryBytes off = quantizeEntry(flat(100), false);
  CodebookLoad full;
  full.full = true;
  full.count = 1;
  CodebookLoad other;  // a partial update that sends entry 1 only
  other.count = 2;
  other.send.set(1);
  struct Case { const char* what; BlockKind coded; CodebookLoad load; bool moves; };
  const Case cases[] = {
      {"sent and used", BlockKind::kV1, full, true},
      {"kept, not sent", BlockKind::kV1, other, false},
      {"sent but the blocks use the other book", BlockKind::kV4, full, false},
  };
  for (const Case& c : cases) {
    Codebook book;
    book.set(0, off);
    book.set(1, off);
    std::vector<BlockChoice> choices(frame.blockCount());
    for (BlockChoice& choice : choices) choice.kind = c.coded;  // indices all 0
    const float before = v1Error(frame, 0, book, 0);
    refineSentEntries(frame, choices, BlockKind::kV1, c.load, false, book);
    if (c.moves) {
      EXPECT_LT(v1Error(frame, 0, book, 0), before / 10) << c.what;
    } else {
      EXPECT_EQ(book.bytes(0), off) << c.what;
    }
  }
}

// Alike inter blocks all turn from skip to V1 at one price: the budget must
// still be spent on as many of them as fit rather than on none.
TEST(CodebookTraining, AlikeBlocksShareTheBudget) {
  constexpr int kBlocks = 256;
  std::vector<BlockOptions> options(kBlocks);
  for (BlockOptions& o : options) {
    o.skipError = 5000.0f;
    o.v1Error = 100.0f;
    o.v4Error = kUnavailable;
  }
  std::vector<BlockChoice> all(kBlocks);
  for (BlockChoice& c : all) c.kind = BlockKind::kV1;
  const std::size_t fixed = 40;
  for (std::size_t budget : {fixed + 60, fixed + 150, fixed + 250}) {
    std::vector<BlockChoice> choices(kBlocks);
    const FittedFrame fit = fitBlocks(options, false, fixed, budget, 1.0f, choices);
    ASSERT_TRUE(fit.fits) << budget;
    EXPECT_LE(fit.size, budget);
    EXPECT_GE(fit.size + 8, budget) << "a budget of " << budget << " left unspent";
    EXPECT_EQ(fit.size, fixed + vectorChunkSize(choices, false));
  }
}

}  // namespace
}  // namespace zepra
