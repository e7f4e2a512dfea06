#include "cinepak/frame_encoder.h"

#include <algorithm>
#include <cmath>

#include "cinepak/codebook_update.h"
#include "cinepak/entry_refinement.h"
#include "cinepak/frame_budget.h"

namespace zepra {

namespace {

// Extra bits of coding a block rather than skipping it, and of V4 over V1.
constexpr float kCodedOverSkipBits = kInterBits.v1 - kInterBits.skip;
constexpr float kV4OverV1Bits = kInterBits.v4 - kInterBits.v1;
// V4 codebooks are trained on at most this many blocks, those V1 serves
// worst; matching then covers every block.
constexpr int kMaxV4TrainingBlocks = 1024;

}  // namespace

void FrameEncoder::begin(int width, int height, EncoderEffort effort) {
  effort_ = effort;
  player_ = std::make_unique<ReferenceDecoder>(width, height);
  v1_.clear();
  v4_.clear();
  const int blocks = (width / 4) * (height / 4);
  v1Trainer_.reserve(blocks);
  v4Trainer_.reserve(std::min(blocks, kMaxV4TrainingBlocks) * 4);
  v1Training_.assign(blocks, Vector6{});
  v4Training_.assign(static_cast<std::size_t>(std::min(blocks, kMaxV4TrainingBlocks)) * 4, Vector6{});
  candidates_.reserve(blocks);
  v1Ceiling_.assign(blocks, 0.0f);
  order_.assign(blocks, 0);
  options_.assign(blocks, BlockOptions{});
  choices_.assign(blocks, BlockChoice{});
  interLambda_ = 0.0f;
}

std::size_t FrameEncoder::maxFrameSize(int width, int height) {
  const std::size_t blocks = static_cast<std::size_t>(width / 4) * (height / 4);
  const std::size_t codebook = kChunkHeaderSize + 4 * 8 + 6 * 256;
  return kFrameHeadersSize + 2 * codebook + kChunkHeaderSize + 4 * ((2 * blocks + 31) / 32) + 4 * blocks;
}

namespace {

// The cheapest intra frame: one V1 entry and one index per block.
std::size_t cheapestIntraFrame(std::size_t blocks, bool grey) {
  return kFrameHeadersSize + 2 * kChunkHeaderSize + (grey ? 4 : 6) + blocks;
}

// A budget below the cheapest intra frame is overshot whatever is done;
// half again that form buys a small codebook instead of one flat colour,
// and the running budget takes the bytes back over the next frames.
std::size_t intraFloor(std::size_t cheapest) { return cheapest * 3 / 2; }

}  // namespace

std::size_t FrameEncoder::minFrameSize(int width, int height, bool intra) {
  if (!intra) return kFrameHeadersSize;
  const std::size_t blocks = static_cast<std::size_t>(width / 4) * (height / 4);
  return intraFloor(cheapestIntraFrame(blocks, false));
}

std::size_t FrameEncoder::encode(const SourceFrame& source, bool intra, std::size_t budget, float lambdaFloor,
                                 std::uint8_t* out) {
  budget = std::min(budget, kMaxFrameLength);
  const FittedFrame fit = intra ? planIntra(source, budget, lambdaFloor) : planInter(source, budget, lambdaFloor);
  const std::span<const BlockChoice> chosen = std::span<const BlockChoice>(choices_).first(source.blockCount());
  refineSentEntries(source, chosen, BlockKind::kV1, v1Load_, grey_, nextV1_);
  refineSentEntries(source, chosen, BlockKind::kV4, v4Load_, grey_, nextV4_);
  FramePlan plan;
  plan.width = source.width();
  plan.height = source.height();
  plan.intra = intra;
  plan.grey = grey_;
  plan.v4Load = v4Load_;
  plan.v1Load = v1Load_;
  plan.v4 = &nextV4_;
  plan.v1 = &nextV1_;
  plan.blocks = chosen;
  const std::size_t length = writeFrame(plan, out);
  player_->decodeFrame({out, length});
  v1_ = nextV1_;
  v4_ = nextV4_;
  // An intra frame's price says little about the next inter frame's.
  interLambda_ = intra ? 0.0f : fit.lambda;
  price_ = fit.lambda;
  return length;
}

FittedFrame FrameEncoder::planIntra(const SourceFrame& source, std::size_t budget, float lambdaFloor) {
  grey_ = source.grey();
  const int blocks = source.blockCount();
  candidates_.clear();
  for (int b = 0; b < blocks; ++b) {
    candidates_.push_back(b);
    options_[b].skipError = kUnavailable;
  }
  const int entrySize = grey_ ? 4 : 6;
  const std::size_t cheapest = cheapestIntraFrame(static_cast<std::size_t>(blocks), grey_);
  budget = std::max(budget, intraFloor(cheapest));
  const long spare = budget > cheapest ? static_cast<long>(budget - cheapest) : 0;
  const int entries = effort_.codebookEntries;
  int v1Entries = std::clamp(static_cast<int>(1 + spare * 2 / 5 / entrySize), 1, entries);
  int v4Entries = std::clamp(static_cast<int>(spare * 7 / 20 / entrySize), 0, entries);
  if (v4Entries < 4) v4Entries = 0;
  for (;;) {
    trainV1(source, v1Entries, effort_.intraIterations, false);
    v1Load_ = loadAll(trainedV1(), grey_, nextV1_);
    measureV1(source);
    if (v4Entries > 0) {
      // Train V4 on the blocks V1 serves worst, as many as the budget could draw.
      const std::size_t withBooks = cheapest + codebookChunkSize(v1Load_, grey_) + kChunkHeaderSize +
                                    static_cast<std::size_t>(v4Entries) * entrySize + blocks / 8;
      const long affordable = budget > withBooks ? static_cast<long>(budget - withBooks) / 3 : 0;
      const int maxBlocks = std::clamp(static_cast<int>(std::max<long>(v4Entries, affordable * 3 / 2)), 1, blocks);
      trainV4(source, v4Entries, effort_.intraIterations, false, maxBlocks);
      v4Load_ = loadAll(trainedV4(), grey_, nextV4_);
    } else {
      nextV4_.clear();
      v4Load_ = {};
    }
    measureV4(source, -1.0f);
    const FittedFrame fit = fitBlocks(options_, true, fixedBytes(grey_), budget, lambdaFloor, choices_);
    if (fit.fits) return fit;
    if (v4Entries > 0) {
      v4Entries = v4Entries >= 8 ? v4Entries / 2 : 0;
    } else if (v1Entries > 1) {
      v1Entries /= 2;
    } else {
      return fit;
    }
  }
}

FittedFrame FrameEncoder::planInter(const SourceFrame& source, std::size_t budget, float lambdaFloor) {
  grey_ = source.grey();
  // The price is expected near the last inter frame's; blocks and vectors
  // are kept for a price well below it, so a cheaper frame still has them.
  float lambda = std::max(lambdaFloor, interLambda_);
  pruneLambda_ = std::max(lambdaFloor, lambda * 0.25f);
  const std::span<const ConsolePixel> picture = player_->picture();
  loop_.run(source.blockCount(), [&](int begin, int end) {
    for (int b = begin; b < end; ++b) {
      BlockOptions& o = options_[b];
      o.skipError = skipError(source, b, picture);
      o.v1Error = o.v4Error = kUnavailable;
    }
  });
  candidates_.clear();
  for (int b = 0; b < source.blockCount(); ++b)
    if (options_[b].skipError > pruneLambda_ * kCodedOverSkipBits) candidates_.push_back(b);
  FittedFrame fit;
  if (!candidates_.empty()) {
    trainV1(source, effort_.codebookEntries, effort_.interIterations, true);
    // Estimated V1 errors (with the codebook the player holds) pick V4's blocks.
    const std::span<const float> v1Distance = v1Trainer_.startDistances();
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
      const int b = candidates_[i];
      options_[b].v1Error = v1Distance[i] * kV1DistanceToRgb + source.v1Detail(b);
    }
    trainV4(source, effort_.codebookEntries, effort_.interIterations, true, kMaxV4TrainingBlocks);
  }
  // Codebook changes may take this share of the budget; the blocks need the rest.
  std::size_t updateBytes = budget * 3 / 4;
  // The price at which entries are chosen and the price at which the
  // blocks then fit should agree; a few damped steps bring them together.
  for (int pass = 0; pass < 3 && !candidates_.empty(); ++pass) {
    TrainedCodebook v1Trained = trainedV1();
    // A V1 entry buys a block nothing beyond what skipping it (or, once
    // measured, coding it V4) gives at this price.
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
      const int b = candidates_[i];
      const BlockOptions& o = options_[b];
      float other = o.skipError + lambda * kInterBits.skip;
      if (pass > 0) other = std::min(other, o.v4Error + lambda * kInterBits.v4);
      v1Ceiling_[i] = std::max(0.0f, (other - lambda * kInterBits.v1 - source.v1Detail(b)) / kV1DistanceToRgb);
    }
    v1Trained.ceiling = std::span<const float>(v1Ceiling_).first(candidates_.size());
    v1Load_ = loadChanges(v1Trained, v1_, lambda, updateBytes / 2, grey_, nextV1_);
    v4Load_ = loadChanges(trainedV4(), v4_, lambda, updateBytes - codebookChunkSize(v1Load_, grey_), grey_, nextV4_);
    measureV1(source);
    measureV4(source, pruneLambda_ * kV4OverV1Bits);
    fit = fitBlocks(options_, false, fixedBytes(grey_), budget, lambdaFloor, choices_);
    if (!fit.fits) {
      updateBytes /= 4;
      continue;
    }
    if (fit.lambda <= 2.0f * lambda && fit.lambda >= 0.5f * lambda) return fit;
    lambda = std::max(lambdaFloor, std::sqrt(lambda * fit.lambda));
  }
  if (fit.fits) return fit;
  // No codebook change at all: only skips and the entries the player holds.
  nextV1_ = v1_;
  nextV4_ = v4_;
  v1Load_ = {};
  v4Load_ = {};
  measureV1(source);
  measureV4(source, pruneLambda_ * kV4OverV1Bits);
  return fitBlocks(options_, false, fixedBytes(grey_), budget, lambdaFloor, choices_);
}

void FrameEncoder::trainV1(const SourceFrame& source, int limit, int iterations, bool warm) {
  std::size_t n = 0;
  for (int b : candidates_) v1Training_[n++] = source.v1Vector(b);
  if (warm) v1Centroids_ = v1_.search(); else v1Centroids_.clear();
  v1Trainer_.train({v1Training_.data(), n}, v1Centroids_, limit, iterations, loop_);
}

// Trains on the candidates that V1 serves worst, at most maxBlocks of them
// and only those where V4 could pay at the lowest expected price.
void FrameEncoder::trainV4(const SourceFrame& source, int limit, int iterations, bool warm, int maxBlocks) {
  const float threshold = warm ? pruneLambda_ * kV4OverV1Bits : -1.0f;
  int count = 0;
  for (int b : candidates_)
    if (options_[b].v1Error > threshold) order_[count++] = b;
  maxBlocks = std::min(maxBlocks, kMaxV4TrainingBlocks);
  if (count > maxBlocks) {
    std::nth_element(order_.begin(), order_.begin() + maxBlocks, order_.begin() + count, [&](int a, int b) {
      return options_[a].v1Error != options_[b].v1Error ? options_[a].v1Error > options_[b].v1Error : a < b;
    });
    count = maxBlocks;
    std::sort(order_.begin(), order_.begin() + count);
  }
  std::size_t n = 0;
  for (int i = 0; i < count; ++i)
    for (int q = 0; q < 4; ++q) v4Training_[n++] = source.v4Vector(order_[i], q);
  v4TrainingCount_ = n;
  if (warm) v4Centroids_ = v4_.search(); else v4Centroids_.clear();
  v4Trainer_.train({v4Training_.data(), n}, v4Centroids_, limit, iterations, loop_);
}

TrainedCodebook FrameEncoder::trainedV1() const {
  return {&v1Centroids_, {v1Training_.data(), v1Trainer_.assignment().size()}, v1Trainer_.assignment(),
          v1Trainer_.startAssignment(), v1Trainer_.startDistances(), kV1DistanceToRgb, kInterBits.v1};
}

TrainedCodebook FrameEncoder::trainedV4() const {
  return {&v4Centroids_, {v4Training_.data(), v4TrainingCount_}, v4Trainer_.assignment(),
          v4Trainer_.startAssignment(), v4Trainer_.startDistances(), kV4DistanceToRgb, kInterBits.v4 / 4.0f};
}

void FrameEncoder::measureV1(const SourceFrame& source) {
  loop_.run(static_cast<int>(candidates_.size()), [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      const int b = candidates_[i];
      BlockOptions& o = options_[b];
      float distance = 0.0f;
      const int e = nextV1_.search().nearest(source.v1Vector(b), distance);
      o.v1 = static_cast<std::uint8_t>(std::max(e, 0));
      o.v1Error = e < 0 ? kUnavailable : v1Error(source, b, nextV1_, e);
    }
  });
}

// V4 is measured only where it can pay: where V1 leaves more error than
// v1ErrorAbove.
void FrameEncoder::measureV4(const SourceFrame& source, float v1ErrorAbove) {
  loop_.run(static_cast<int>(candidates_.size()), [&](int begin, int end) {
    for (int i = begin; i < end; ++i) {
      const int b = candidates_[i];
      BlockOptions& o = options_[b];
      o.v4Error = kUnavailable;
      if (o.v1Error <= v1ErrorAbove) continue;
      float distance = 0.0f;
      bool found = true;
      for (int q = 0; q < 4 && found; ++q) {
        const int e = nextV4_.search().nearest(source.v4Vector(b, q), distance);
        found = e >= 0;
        o.v4[q] = static_cast<std::uint8_t>(std::max(e, 0));
      }
      if (found) o.v4Error = v4Error(source, b, nextV4_, o.v4);
    }
  });
}

std::size_t FrameEncoder::fixedBytes(bool grey) const {
  return kFrameHeadersSize + codebookChunkSize(v4Load_, grey) + codebookChunkSize(v1Load_, grey);
}

}  // namespace zepra
