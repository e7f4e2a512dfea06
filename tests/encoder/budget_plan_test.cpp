// The two-pass plan: one price for every frame, the hard limit it keeps
// whatever the frames spend, and the first pass's measure it is built on.

#include "encoder/budget_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "cinepak/cinepak_compressor.h"
#include "cinepak/frame_encoder.h"
#include "cinepak/source_frame.h"
#include "encoder/analysis_compressor.h"
#include "encoder/error_calibration.h"
#include "format/cinepak.h"

namespace zepra {
namespace {

constexpr FrameSizeLimits kLimits{52, 22, 20000};

// Needs as the first pass measures them: a flat picture costs the same at
// every price, grain gives way fast as the price rises, a cut stays dear.
constexpr FrameNeed kFlat{1500, 1500, 1500};
constexpr FrameNeed kGrain{9000, 6000, 1200};
constexpr FrameNeed kCut{12000, 11000, 9000};

// Frames with these needs and no measured error: one price for all.
std::vector<FrameAnalysis> analyses(const std::vector<FrameNeed>& needs) {
  std::vector<FrameAnalysis> frames(needs.size());
  for (std::size_t i = 0; i < needs.size(); ++i) frames[i].bytes = needs[i];
  return frames;
}

std::vector<FrameAnalysis> scenes() {
  std::vector<FrameNeed> needs(30, kFlat);
  needs.insert(needs.end(), 30, kGrain);
  needs.push_back(kCut);
  needs.insert(needs.end(), 29, kFlat);
  return analyses(needs);
}

// How a compressor under the plan spends a budget.
using Spending = std::uint64_t (*)(std::uint32_t n, std::uint64_t budget);
std::uint64_t everything(std::uint32_t, std::uint64_t budget) { return budget; }
std::uint64_t nothing(std::uint32_t, std::uint64_t) { return 0; }
std::uint64_t half(std::uint32_t, std::uint64_t budget) { return budget / 2; }
// Saves for a while, then spends everything it is given.
std::uint64_t savesThenSpends(std::uint32_t n, std::uint64_t budget) { return n <= 30 ? budget / 3 : budget; }

// Follows the plan through a stream whose compressor spends as `spend` says,
// and never less than its smallest frame. Every budget stays within the
// largest frame the player decodes in time, and a frame planned intra gets
// at least its smallest intra size. Returns what the frames spent.
std::uint64_t spendFollowing(BudgetPlan& plan, std::uint32_t frames, Spending spend = everything) {
  std::uint64_t spent = 0;
  for (std::uint32_t n = 1; n <= frames; ++n) {
    plan.follow(n, spent);
    const std::uint64_t budget = plan.budgetFor(n, spent);
    EXPECT_LE(budget, kLimits.largest) << n;
    if (plan.intra(n)) {
      EXPECT_GE(budget, kLimits.cheapestIntra) << n;
    }
    spent += std::max(spend(n, budget), plan.intra(n) ? kLimits.cheapestIntra : kLimits.cheapestInter);
  }
  return spent;
}

// The scenes with a key frame every 15 frames, measured intra: dear at a low
// price, next to nothing at a high one.
std::vector<FrameAnalysis> scenesWithKeyFrames() {
  std::vector<FrameAnalysis> frames = scenes();
  for (std::size_t i = 15; i < frames.size(); i += 15) {
    frames[i].bytes = FrameNeed{6000, 800, 30};
    frames[i].intra = true;
  }
  return frames;
}

TEST(BudgetPlan, OnePriceKeepsFlatPicturesWholeCutsGrainAndGivesTheCutSeveralShares) {
  const std::vector<FrameAnalysis> needs = scenes();
  const BudgetPlan plan(needs, 250000, kLimits);  // far below the needs at the lowest price
  ASSERT_TRUE(plan.feasible());
  EXPECT_EQ(plan.share(10), 1500u);  // flat: its need
  EXPECT_EQ(plan.share(80), 1500u);
  EXPECT_LT(plan.share(40), 6000u);  // grain: far below its need
  EXPECT_GT(plan.share(40), 1200u);
  EXPECT_GT(plan.share(61), 2 * plan.share(40));  // the cut
  std::uint64_t total = 0;
  for (std::uint32_t n = 1; n <= plan.frames(); ++n) total += plan.share(n);
  EXPECT_LE(total, plan.allowance());
  EXPECT_GT(total, plan.allowance() - plan.frames() - 200);  // nothing lost but rounding and the search
}

TEST(BudgetPlan, BytesLeftWhenEveryNeedIsMetGoByNeedWithinTheLargest) {
  const std::vector<FrameAnalysis> needs = scenes();
  const BudgetPlan plan(needs, 600000, kLimits);
  ASSERT_TRUE(plan.feasible());
  EXPECT_GT(plan.share(10), 1500u);
  EXPECT_GT(plan.share(40), 9000u);
  EXPECT_NEAR(static_cast<double>(plan.share(40)) / plan.share(10), 6.0, 0.01);
  const BudgetPlan generous(needs, 2000000, kLimits);
  EXPECT_EQ(generous.share(40), kLimits.largest);
  EXPECT_EQ(generous.share(61), kLimits.largest);
}

TEST(BudgetPlan, NeverEndsAboveTheAllowanceWhateverTheFramesSpend) {
  for (const std::uint64_t allowance : {52u + 89u * 22u, 3000u, 20000u, 250000u, 2000000u}) {
    for (const Spending spend : {everything, nothing, half, savesThenSpends}) {
      BudgetPlan plan(scenes(), allowance, kLimits);
      ASSERT_TRUE(plan.feasible()) << allowance;
      EXPECT_LE(spendFollowing(plan, 90, spend), allowance) << allowance;
    }
    const BudgetPlan plan(scenes(), allowance, kLimits);
    // Frames that spend nothing leave bytes to the later ones, never more
    // than the player decodes in time.
    for (std::uint32_t n = 1; n <= 90; ++n) EXPECT_LE(plan.budgetFor(n, 0), kLimits.largest) << n;
  }
  // Fewer bytes than the smallest frames need cannot be planned.
  EXPECT_FALSE(BudgetPlan(scenes(), 52 + 89 * 22 - 1, kLimits).feasible());
}

// A key frame keeps its smallest intra size wherever it falls, so the
// stream's key frames come on time; the allowance holds them all. An
// allowance too small for every key frame's intra size still plans the
// stream, with only the first frame intra (the key frames then wait).
TEST(BudgetPlan, KeyFramesKeepTheirIntraSizeWhereTheyFallWithinTheAllowance) {
  const std::vector<FrameAnalysis> frames = scenesWithKeyFrames();
  const std::uint64_t keysHeld = 52 * 6 + 84 * 22;
  for (const std::uint64_t allowance : {keysHeld, keysHeld + 500, std::uint64_t{20000}, std::uint64_t{250000}}) {
    BudgetPlan plan(frames, allowance, kLimits);
    ASSERT_TRUE(plan.feasible()) << allowance;
    for (std::uint32_t n = 1; n <= plan.frames(); ++n) {
      EXPECT_EQ(plan.intra(n), n == 1 || frames[n - 1].intra) << n;
      if (plan.intra(n)) {
        EXPECT_GE(plan.share(n), kLimits.cheapestIntra) << n;
      }
    }
    EXPECT_LE(spendFollowing(plan, 90), allowance) << allowance;
  }
  BudgetPlan tight(frames, keysHeld - 1, kLimits);
  ASSERT_TRUE(tight.feasible());
  EXPECT_FALSE(tight.intra(16));
  EXPECT_LE(spendFollowing(tight, 90), keysHeld - 1);
}

// Frames whose picture stays poor at the price (grain) get more than one
// common price would give them, paid by frames whose picture is good; frames
// alike in error keep one price among them.
// Thirty grain frames that the first pass left with `first`, then thirty
// left with `second`.
std::vector<FrameAnalysis> grainScenes(FrameNeed first, FrameNeed second) {
  std::vector<FrameAnalysis> frames(60);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    frames[i].bytes = kGrain;
    frames[i].error = i < 30 ? first : second;
  }
  return frames;
}

TEST(BudgetPlan, LeansTowardsEvenPicturesWithinTheAllowance) {
  const std::vector<FrameAnalysis> frames = grainScenes({40, 60, 90}, {200, 300, 450});
  const std::uint64_t allowance = 60 * 4000;
  const BudgetPlan onePrice(frames, allowance, kLimits, 0.0);
  BudgetPlan even(frames, allowance, kLimits);
  ASSERT_TRUE(onePrice.feasible() && even.feasible());
  EXPECT_EQ(onePrice.share(10), onePrice.share(40));
  EXPECT_GT(even.share(40), even.share(10) * 5 / 4);  // the poor picture gets more
  EXPECT_EQ(even.share(10), even.share(20));
  EXPECT_LE(spendFollowing(even, 60), allowance);
  std::uint64_t total = 0;
  for (std::uint32_t n = 1; n <= even.frames(); ++n) total += even.share(n);
  EXPECT_GT(total, allowance - 200);
}

// The lean judges pictures by their errors made true to the real
// compressor: a scene the mosaic takes for the poorer but that the real
// compressor renders well gets less than the one it really leaves poorer.
TEST(BudgetPlan, LeansTowardsThePicturesTheRealCompressorLeavesPoorest) {
  std::vector<FrameAnalysis> frames = grainScenes({400, 600, 900}, {100, 150, 225});
  const std::uint64_t allowance = 60 * 4000;
  const BudgetPlan byMosaic(frames, allowance, kLimits);
  EXPECT_GT(byMosaic.share(10), byMosaic.share(40) * 5 / 4);
  // Coded whole at 6000 bytes, where the mosaic left 600 and 150: the first
  // scene really comes out at a tenth of that, the second as the mosaic said.
  frames[1].trueBytes = frames[31].trueBytes = 6000;
  frames[1].trueError = 60, frames[31].trueError = 150;
  BudgetPlan calibrated(frames, allowance, kLimits);
  ASSERT_TRUE(calibrated.feasible());
  EXPECT_GT(calibrated.share(40), calibrated.share(10) * 5 / 4);
  EXPECT_LE(spendFollowing(calibrated, 60), allowance);
}

TEST(BudgetPlan, SpendsWhatEarlierFramesLeftButNeverLessThanHalfItsShare) {
  const BudgetPlan plan(analyses(std::vector<FrameNeed>(10, kFlat)), 10 * 1000, FrameSizeLimits{52, 22, 0});
  EXPECT_EQ(plan.budgetFor(3, 0), plan.share(1) + plan.share(2) + plan.share(3));  // two spent nothing
  EXPECT_EQ(plan.budgetFor(3, 5000), plan.share(3) / 2);      // ahead of the plan
  EXPECT_LE(plan.budgetFor(10, 9990), 10u);                   // the allowance's end holds
}

// Following the stream, what the first frames saved is spread over the
// frames after them by price: the next frame gets only part of it, the
// grain, which buys picture with every byte, more than its planned share,
// and nothing is lost at the end.
TEST(BudgetPlan, FollowingTheStreamSpreadsWhatFramesSavedByPrice) {
  const std::uint64_t allowance = 250000;
  const BudgetPlan planned(scenes(), allowance, kLimits);
  BudgetPlan plan(scenes(), allowance, kLimits);
  std::uint64_t spent = 0;
  for (std::uint32_t n = 1; n <= 30; ++n) {  // the flat frames use a third of their budgets
    plan.follow(n, spent);
    spent += plan.budgetFor(n, spent) / 3;
  }
  const std::uint64_t saved = planned.budgetFor(31, 0) - planned.share(31) - spent;
  ASSERT_GT(saved, 20000u);
  plan.follow(31, spent);
  EXPECT_LT(plan.budgetFor(31, spent), planned.share(31) + saved / 4);  // not all on the next frame
  EXPECT_GT(plan.share(40), planned.share(40) + 100);                   // the grain gets some
  EXPECT_GT(plan.share(40) - planned.share(40), plan.share(80) - planned.share(80));  // more than flat frames
  std::uint64_t total = spent;
  for (std::uint32_t n = 31; n <= plan.frames(); ++n) total += plan.share(n);
  EXPECT_LE(total, allowance);
  EXPECT_GT(total, allowance - plan.frames());  // nothing lost but rounding
  for (std::uint32_t n = 31; n <= plan.frames(); ++n) {  // then they spend everything
    plan.follow(n, spent);
    spent += std::max(plan.budgetFor(n, spent), kLimits.cheapestInter);
  }
  EXPECT_LE(spent, allowance);
  EXPECT_GT(spent, allowance - allowance / 100);
}

// A frame whose bytes fall fast beyond the last measured price (cells that
// all change: nothing left to skip but the whole picture) is not planned
// below its need there while the allowance pays for every frame at that
// price, though poorer pictures lean the common price beyond it; an
// allowance that cannot pay for that prices no frame beyond the lowest price
// at which it pays for them all, so the cells get what one price for all
// would give them, and it is still planned within itself.
TEST(BudgetPlan, NoFrameIsPricedBeyondTheLastMeasuredPriceWhileTheAllowancePaysForIt) {
  constexpr FrameNeed kCells{6000, 4000, 1000};
  std::vector<FrameAnalysis> frames(60);
  for (std::size_t i = 0; i < frames.size(); ++i) {
    frames[i].bytes = i % 2 == 0 ? kCells : kGrain;
    frames[i].error = i % 2 == 0 ? FrameNeed{10, 12, 40} : FrameNeed{200, 300, 450};
  }
  const double atLast = 30 * (kCells[2] + kGrain[2]);
  const struct {
    double allowance;
    bool paysAtLast;
  } cases[] = {{atLast * 1.05, true}, {atLast * 1.3, true}, {atLast * 0.8, false}, {atLast * 0.5, false}};
  for (const auto& c : cases) {
    const auto allowance = static_cast<std::uint64_t>(c.allowance);
    BudgetPlan plan(frames, allowance, kLimits);
    ASSERT_TRUE(plan.feasible());
    std::uint64_t total = 0;
    const BudgetPlan onePrice(frames, allowance, kLimits, 0.0);
    for (std::uint32_t n = 1; n <= plan.frames(); ++n) {
      total += plan.share(n);
      if (n % 2 == 0) continue;
      EXPECT_GE(plan.share(n), (c.paysAtLast ? kCells[2] : onePrice.share(n)) - 1) << allowance << " frame " << n;
    }
    EXPECT_LE(total, allowance);
    EXPECT_GT(total, allowance - 200);
    EXPECT_LE(spendFollowing(plan, 60), allowance);
  }
}

TEST(FrameNeedAt, ErrorNeverFallsAsThePriceRises) {
  const FrameNeed error{50, 40, 200};  // a measure that fell with the price counts as flat there
  EXPECT_NEAR(errorAt(error, 0.0), 50, 1e-9);
  EXPECT_NEAR(errorAt(error, 1.0), 50, 1e-9);
  EXPECT_NEAR(errorAt(error, 1.5), 100, 1e-6);  // geometric between 50 and 200
  EXPECT_NEAR(errorAt(error, 3.0), 800, 1e-6);  // beyond: the last step's rate again
}

TEST(FrameNeedAt, MeasuredPointsBetweenThemAndBeyondThem) {
  const FrameNeed rising{1000, 2000, 250};  // a measure that rose with the price counts as flat there
  const struct {
    FrameNeed need;
    double price;
    double bytes;
  } cases[] = {
      {kGrain, 0.0, 9000}, {kGrain, 1.0, 6000}, {kGrain, 2.0, 1200}, {kGrain, -1.0, 9000},
      {kGrain, 0.5, 7348.5},     // geometric between 9000 and 6000
      {kGrain, 3.0, 240},        // beyond: the last step's rate again
      {kFlat, 7.5, 1500},
      {rising, 1.0, 1000}, {rising, 1.5, 500},
  };
  for (const auto& c : cases) EXPECT_NEAR(needAt(c.need, c.price), c.bytes, 0.5) << c.price;
}

// The first pass against the real compressor on the whole picture: a still
// frame needs next to nothing, a new scene much, grain less as the price
// rises while a flat picture does not, and the estimate of a scene's first
// frame is near what the compressor makes of the whole frame.
class AnalysisNeeds : public ::testing::Test {
 protected:
  static constexpr int kWidth = 240, kHeight = 160;
  using Frame = std::vector<std::uint8_t>;

  static Frame picture(int kind, int seed) {
    Frame f(static_cast<std::size_t>(kWidth) * kHeight * 3);
    std::uint32_t noise = 12345u + static_cast<std::uint32_t>(seed);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        std::uint8_t* p = &f[(static_cast<std::size_t>(y) * kWidth + x) * 3];
        noise = noise * 1664525u + 1013904223u;
        if (kind == 0) {  // smooth colour ramps
          p[0] = static_cast<std::uint8_t>(x), p[1] = static_cast<std::uint8_t>(y + 40), p[2] = 120;
        } else if (kind == 1) {  // grain over grey
          p[0] = p[1] = p[2] = static_cast<std::uint8_t>(96 + (noise >> 24) / 4);
        } else {  // a scene of hard-edged shapes
          const bool inside = ((x / 12 + y / 20) % 3 == 0) != ((x * x + y * y) % 4000 < 1800);
          p[0] = inside ? 20 : 230, p[1] = static_cast<std::uint8_t>(x + y), p[2] = inside ? 200 : 40;
        }
      }
    return f;
  }

  // keyFrames: frames the stream asks to be key frames.
  std::vector<FrameAnalysis> measure(const std::vector<Frame>& frames, std::vector<std::size_t> keyFrames = {}) {
    BitmapInfoHeader input;
    input.biWidth = kWidth;
    input.biHeight = kHeight;
    input.biBitCount = 24;
    std::vector<FrameAnalysis> needs;
    AnalysisCompressor analysis(input, needs);
    BitmapInfoHeader output;
    EXPECT_EQ(analysis.getOutputFormat(input, output), kIcErrOk);
    EXPECT_EQ(analysis.begin(input, output), kIcErrOk);
    std::vector<std::uint8_t> out(analysis.maxFrameSize(input, output));
    for (std::size_t n = 0; n < frames.size(); ++n) {
      CompressParams params;
      params.lpbiOutput = &output;
      params.lpOutput = out.data();
      params.lpbiInput = &input;
      params.lpInput = frames[n].data();
      params.lFrameNum = static_cast<std::int32_t>(n);
      const bool key = std::find(keyFrames.begin(), keyFrames.end(), n) != keyFrames.end();
      params.dwFlags = key ? kCompressKeyFrame : 0;
      EXPECT_EQ(analysis.compress(params), kIcErrOk);
      EXPECT_EQ(output.biSizeImage, 22u);  // the stream gets an empty frame, of the kind coded
      EXPECT_EQ(out[10] << 8 | out[11], n == 0 || key ? kIntraStrip : kInterStrip) << n;
    }
    return needs;
  }
};

// A key frame asked for is measured as the intra frame the second pass will
// code, and each frame's error is what its picture is left with: grain
// poorer than a smooth picture, and poorer as the price rises.
TEST_F(AnalysisNeeds, KeyFramesAreMeasuredIntraAndErrorsFollowThePicture) {
  const Frame ramps = picture(0, 0);
  const std::vector<Frame> frames = {ramps, ramps, ramps, ramps, ramps, picture(1, 1), picture(1, 2)};
  const std::vector<FrameAnalysis> needs = measure(frames, {3});
  ASSERT_EQ(needs.size(), frames.size());
  for (std::size_t n = 0; n < needs.size(); ++n) EXPECT_EQ(needs[n].intra, n == 0 || n == 3) << n;
  // The key frame builds the picture again, as the first frame did.
  EXPECT_GT(needs[3].bytes[0], 2 * needs[2].bytes[0]);
  EXPECT_NEAR(needs[3].bytes[0] / needs[0].bytes[0], 1.0, 0.1);
  EXPECT_LT(needs[2].error[0], needs[0].error[0]);  // the still picture settles
  EXPECT_GT(needs[6].error[2], 1.5 * needs[4].error[2]);
  EXPECT_GT(needs[6].error[2], 2 * needs[6].error[0]);
}

// The frames the first pass codes whole: the second of the video, the
// second of a scene that begins long enough after the last one measured, and
// one in every kCalibrationEvery; nothing else. Two frames of one scene tell
// alike how far the mosaic is from the real compressor.
TEST_F(AnalysisNeeds, AFewFramesAreCodedWholeAndShowHowPessimisticTheMosaicIs) {
  std::vector<Frame> frames(30, picture(2, 0));
  for (int n = 0; n < 40; ++n) frames.push_back(picture(1, n + 1));
  const std::vector<FrameAnalysis> needs = measure(frames);
  ASSERT_EQ(needs.size(), frames.size());
  const std::vector<std::size_t> measured = {1, 31, 31 + kCalibrationEvery};
  std::vector<std::size_t> coded;
  for (std::size_t n = 0; n < needs.size(); ++n) {
    if (needs[n].trueBytes > 0) coded.push_back(n);
    EXPECT_EQ(needs[n].trueBytes > 0, needs[n].trueError > 0) << n;
  }
  EXPECT_EQ(coded, measured);
  auto ratio = [&](std::size_t n) {
    const double price = MeasuredCurve(needs[n].bytes, false).priceFor(needs[n].trueBytes);
    return needs[n].trueError / MeasuredCurve(needs[n].error, true).at(price);
  };
  EXPECT_NEAR(ratio(measured[2]) / ratio(measured[1]), 1.0, 0.2);
  EXPECT_NEAR(calibratedErrors(needs)[50][1] / needs[50].error[1], std::sqrt(ratio(measured[1]) * ratio(measured[2])),
              1e-6);
}

TEST_F(AnalysisNeeds, StillCutGrainAndFlatPicturesAsTheRealCompressorSeesThem) {
  const Frame ramps = picture(0, 0), scene = picture(2, 0);
  const std::vector<Frame> frames = {ramps, ramps, ramps, ramps, scene, picture(1, 1), picture(1, 2), picture(1, 3)};
  const std::vector<FrameAnalysis> needs = measure(frames);
  ASSERT_EQ(needs.size(), frames.size());
  EXPECT_LT(needs[3].bytes[2], 0.1 * needs[4].bytes[2]);  // still, once refined, against the cut
  EXPECT_GT(needs[7].bytes[0], 1.5 * needs[7].bytes[2]);  // grain gives way
  EXPECT_GT(needs[4].bytes[2], 0.5 * needs[4].bytes[0]);  // the cut much less

  // The whole frames, by the compressor itself at the lowest price.
  FrameEncoder encoder(1);
  encoder.begin(kWidth, kHeight, EncoderEffort{});
  SourceFrame source;
  source.resize(kWidth, kHeight);
  std::vector<std::uint8_t> out(FrameEncoder::maxFrameSize(kWidth, kHeight));
  for (std::size_t n = 0; n < 5; ++n) {
    source.load(frames[n].data());
    const std::size_t real = encoder.encode(source, n == 0, out.size(), lambdaForQuality(kDefaultQuality), out.data());
    if (n == 0 || n == 4) {
      EXPECT_NEAR(needs[n].bytes[0] / static_cast<double>(real), 1.0, 0.35) << n;
    }
  }
}

}  // namespace
}  // namespace zepra
