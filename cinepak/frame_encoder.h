#pragma once
// Compresses one prepared frame at a time against what the player shows.
// It keeps its own twin of the player (a ReferenceDecoder fed with every frame
// it emits) and the codebooks the player holds, so inter frames skip and
// update against the real reconstruction and errors never drift.
//
// Intra frames load both codebooks in full (0x20/0x22, or 0x24/0x26 for grey
// frames) and draw every block. Inter frames send only the codebook entries
// that pay for themselves (partial updates or a cheaper full prefix) and code
// only the blocks worth their bits. All buffers are sized by begin().

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "cinepak/block_decisions.h"
#include "cinepak/codebook.h"
#include "cinepak/codebook_trainer.h"
#include "cinepak/codebook_update.h"
#include "cinepak/frame_budget.h"
#include "cinepak/frame_writer.h"
#include "cinepak/reference_decoder.h"
#include "cinepak/source_frame.h"
#include "cinepak/split_loop.h"

namespace zepra {

struct EncoderEffort {
  int intraIterations = 4;
  int interIterations = 2;
  // Entries each codebook may use, 1..256; fewer make a smaller picture
  // behave, per block, like a larger one with all of them.
  int codebookEntries = kCodebookSize;
};

class FrameEncoder {
 public:
  // Its loops run on this many threads (1 or 2), started once here; the
  // frames it produces are the same for any count.
  explicit FrameEncoder(int threads = SplitLoop::defaultThreads()) : loop_(threads) {}
  int threads() const { return loop_.threads(); }
  // The threads its loops run on, for preparing its input alongside.
  SplitLoop& loop() { return loop_; }

  void begin(int width, int height, EncoderEffort effort);
  // Largest frame this picture size can produce.
  static std::size_t maxFrameSize(int width, int height);
  // Smallest frame it produces: what a frame costs when its budget is lower.
  // An inter frame that skips every block is the two headers alone. An intra
  // frame takes half again its cheapest form (one V1 entry and an index per
  // block), so that a starved one still shows a picture; for colour frames,
  // the larger of the two.
  static std::size_t minFrameSize(int width, int height, bool intra);

  // Compresses source into out (maxFrameSize bytes) and returns the length.
  // The frame comes within budget unless even its cheapest form is larger.
  std::size_t encode(const SourceFrame& source, bool intra, std::size_t budget, float lambdaFloor,
                     std::uint8_t* out);

  // What the player shows and holds after the last frame, and the codebooks
  // the next frame is matched against (entries marked valid equal the player's).
  const ReferenceDecoder& player() const { return *player_; }
  const Codebook& v1Codebook() const { return v1_; }
  const Codebook& v4Codebook() const { return v4_; }
  // The price of a bit at which the last frame's blocks were chosen.
  float price() const { return price_; }

 private:
  FittedFrame planIntra(const SourceFrame& source, std::size_t budget, float lambdaFloor);
  FittedFrame planInter(const SourceFrame& source, std::size_t budget, float lambdaFloor);
  void trainV1(const SourceFrame& source, int limit, int iterations, bool warm);
  void trainV4(const SourceFrame& source, int limit, int iterations, bool warm, int maxBlocks);
  TrainedCodebook trainedV1() const;
  TrainedCodebook trainedV4() const;
  void measureV1(const SourceFrame& source);
  void measureV4(const SourceFrame& source, float v1ErrorAbove);
  std::size_t fixedBytes(bool grey) const;

  EncoderEffort effort_;
  SplitLoop loop_;
  std::unique_ptr<ReferenceDecoder> player_;
  Codebook v1_, v4_;        // what the player holds
  Codebook nextV1_, nextV4_;  // what it will hold after this frame
  CodebookLoad v1Load_, v4Load_;
  SearchTable v1Centroids_, v4Centroids_;
  CodebookTrainer v1Trainer_, v4Trainer_;
  std::vector<Vector6> v1Training_, v4Training_;
  std::size_t v4TrainingCount_ = 0;
  std::vector<int> candidates_;  // blocks that may be coded
  std::vector<int> order_;
  std::vector<float> v1Ceiling_;  // per candidate: what V1 must beat
  std::vector<BlockOptions> options_;
  std::vector<BlockChoice> choices_;
  bool grey_ = false;
  float interLambda_ = 0.0f;  // price of a bit in the last inter frame, 0 after an intra frame
  float pruneLambda_ = 0.0f;  // this frame's lowest expected price
  float price_ = 0.0f;
};

}  // namespace zepra
