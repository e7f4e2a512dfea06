#include "job/conversion_driver.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "cinepak/frame_budget.h"
#include "cinepak/frame_encoder.h"
#include "encoder/analysis_compressor.h"
#include "encoder/budget_plan.h"
#include "encoder/decode_time.h"
#include "encoder/stream_encoder.h"
#include "job/cartridge_share.h"
#include "job/image_size_range.h"
#include "job/progress_share.h"
#include "job/rom_builder.h"
#include "job/size_estimate.h"
#include "job/size_text.h"
#include "platform/job_state.h"
#include "player/player_image.h"

namespace zepra {

namespace {

// Of a two-pass job's progress, the first pass takes this much (permille):
// it decodes the whole input too but compresses only a small sample of
// every frame.
constexpr int kAnalysisShare = 300;

struct EncoderSettings {
  const int* trim;
  bool autoTrim;
  int width, height, frameRateMode, preFilter, bitrate;
  float gamma;
  double keyFrameSeconds;
};

void configure(StreamEncoder& encoder, const std::string& streamPath, const EncoderSettings& s) {
  // Compression beside the conversion of the next frame: a job's encoders
  // are read only after the stream is closed.
  encoder.setOverlap(true);
  if (!encoder.setOutputName(streamPath.c_str())) throw kDriverBadOutputName;
  if (!encoder.setOptions(s.trim, s.autoTrim, s.width, s.height, s.frameRateMode, s.preFilter, s.bitrate,
                          s.gamma))
    throw kDriverBadOptions;
  encoder.setKeyFrameInterval(s.keyFrameSeconds);
}

StreamShape shapeOf(const StreamEncoder& encoder, std::uint32_t frames) {
  StreamShape shape;
  shape.frames = frames;
  shape.rate = encoder.outputRate();
  shape.width = encoder.outputWidth();
  shape.height = encoder.outputHeight();
  return shape;
}

// Refuses, before any frame is converted, a video whose image cannot fit
// `limit` bytes even with every frame at its smallest.
void refuseIfNeverFits(const StreamShape& shape, std::uint64_t limit, bool target) {
  if (std::optional<std::string> why = neverFitsText(playerImage().size(), shape, limit, target)) {
    setLastErrorText(std::move(*why));
    throw kDriverImageTooBig;
  }
}

// Warns, before converting, when a busy video at this bitrate could pass what
// a cartridge holds; the conversion then stops as soon as it does.
void warnIfMayNotFit(const StreamShape& shape, int bitrate) {
  const std::uint64_t frames = std::max(largestFrameBytes(shape, bitrate), smallestFrameBytes(shape));
  const std::uint64_t largest = paddedImageBytes(unpaddedImageBytes(playerImage().size(), shape, frames));
  if (largest <= kMaxRomSize) return;
  sendWarning("at " + std::to_string(bitrate) + " KB/s the image can reach " + mebibytesText(largest) +
                  ", more than the 32 MiB a cartridge holds; a busy video is then refused when it passes 32 MiB",
              WarningAdvice::kTargetOfLargestCartridge);
}

// The first of two passes: decodes the whole input into an encoder whose
// compressor only measures each frame's need. Gives the exact number of
// frames, the sound's length and the needs.
StreamShape analyse(const DecodingGraphFactory& makeGraph, const std::string& inputPath,
                    const std::string& streamPath, const EncoderSettings& settings, const CancelSource& cancel,
                    std::vector<FrameAnalysis>& needs) {
  sendStatus("Pass 1 of 2: analysing the video...");
  StreamEncoder analysis(AnalysisCompressor::locator(needs));
  configure(analysis, streamPath, settings);
  std::unique_ptr<DecodingGraph> graph = makeGraph();
  std::uint64_t frameCount = 0;
  if (!graph || !graph->buildDecodingGraph(inputPath, analysis)) throw kDriverGraphFailed;
  if (!graph->queryFrameCount(frameCount, analysis)) throw kDriverNoFrameCount;
  if (!analysis.openStream(static_cast<std::uint32_t>(frameCount))) {
    analysis.closeStream();
    setLastErrorText("The stream file could not be written: " + streamPath);
    throw kDriverStreamFailed;
  }
  const bool ran = graph->runDecodingGraph(cancel);
  const bool closed = analysis.closeStream();
  graph->releaseDecodingGraph();
  if (!ran) throw kDriverRunFailed;
  if (!closed) throw kDriverStreamFailed;
  StreamShape shape = shapeOf(analysis, analysis.framesEncoded());
  shape.audioSamples = analysis.audioSamples();
  return shape;
}

// The plan of the second pass: the single pass's allowance at the bitrate,
// or what the target size leaves (at most the highest bitrate's).
BudgetPlan planBudgets(const StreamShape& shape, const std::vector<FrameAnalysis>& needs, int bitrate,
                       const SizeControl& size) {
  std::uint64_t allowance = largestFrameBytes(shape, bitrate);
  if (size.frameAllowance) {
    allowance = size.frameAllowance(shape);
  } else if (size.fitBytes != 0) {
    refuseIfNeverFits(shape, size.fitBytes, true);
    allowance = targetFrameAllowance(playerImage().size(), shape, size.fitBytes);
  }
  FrameSizeLimits limits;
  limits.cheapestIntra = FrameEncoder::minFrameSize(shape.width, shape.height, true);
  limits.cheapestInter = FrameEncoder::minFrameSize(shape.width, shape.height, false);
  limits.largest = std::min<std::uint64_t>({kMaxFrameLength, largestTimelyFrame(shape.rate, shape.width, shape.height),
                                            FrameEncoder::maxFrameSize(shape.width, shape.height)});
  BudgetPlan plan(needs, allowance, limits);
  if (!plan.feasible()) {
    setLastErrorText("The stream's smallest frames do not fit the bytes left for them.");
    throw kDriverImageTooBig;
  }
  return plan;
}

// Runs the steps in order; a failing step throws its code.
void runSteps(StreamEncoder& encoder, std::unique_ptr<DecodingGraph>& graph,
              const DecodingGraphFactory& makeGraph, const std::string& inputPath,
              const std::string& streamPath, const EncoderSettings& settings, const CancelSource& cancel,
              const SizeControl& size, BudgetPlan& plan) {
  configure(encoder, streamPath, settings);

  graph = makeGraph();
  if (!graph) throw kDriverGraphFailed;
  if (!graph->buildDecodingGraph(inputPath, encoder)) {
    // The encoder's own reason is more precise than the general format error.
    if (!encoder.formatRefusal().empty()) setLastErrorText(encoder.formatRefusal());
    throw kDriverGraphFailed;
  }

  std::uint64_t frameCount = 0;
  if (!graph->queryFrameCount(frameCount, encoder)) throw kDriverNoFrameCount;
  const bool twoPasses = size.twoPass || size.fitBytes != 0 || size.frameAllowance;
  // The count the encoder measures its progress by; two passes count it twice.
  if (!twoPasses) sendFrameTotal(static_cast<std::uint32_t>(frameCount));

  // A video too long for any cartridge, or for the target, is refused now
  // rather than after it has been converted.
  const StreamShape announced =
      shapeOf(encoder, keptFrameCount(encoder.frameSelection(), static_cast<std::uint32_t>(frameCount)));
  refuseIfNeverFits(announced, kMaxRomSize, false);
  if (size.fitBytes != 0) refuseIfNeverFits(announced, size.fitBytes, true);
  if (size.fitBytes == 0 && size.bytesBefore == 0) warnIfMayNotFit(announced, settings.bitrate);

  // One progress over both passes: the analysis first, then the conversion.
  std::optional<ProgressShare> conversionShare;
  if (twoPasses) {
    std::vector<FrameAnalysis> needs;
    StreamShape shape;
    {
      ProgressShare analysisShare(0, kAnalysisShare);
      shape = analyse(makeGraph, inputPath, streamPath, settings, cancel, needs);
    }
    plan = planBudgets(shape, needs, settings.bitrate, size);
    encoder.setBudgetPlan(&plan);
    conversionShare.emplace(kAnalysisShare, 1000);
    sendStatus("Pass 2 of 2: converting...");
  }

  // Without an open stream the run could only produce an empty or broken
  // stream that would still be reported as success.
  if (!encoder.openStream(static_cast<std::uint32_t>(frameCount))) {
    encoder.closeStream();
    setLastErrorText("The stream file could not be written: " + streamPath);
    throw kDriverStreamFailed;
  }

  encoder.setImageLimit(size.bytesBefore != 0 ? size.bytesBefore : playerImage().size(),
                        kMaxRomSize - std::min<std::uint64_t>(size.bytesAfter, kMaxRomSize - 1));
  const bool ran = graph->runDecodingGraph(cancel);
  // Also after a failed or cancelled run: ends the compressor session and
  // closes the stream file.
  const bool closed = encoder.closeStream();
  if (encoder.imageTooBig() && !jobCancelled.load()) {
    setLastErrorText(kRomTooBigText);
    throw kDriverImageTooBig;
  }
  // A stream file that takes no more (a full temporary folder) is no fault
  // of the input.
  if (!ran) throw encoder.streamWriteFailed() && !jobCancelled ? kDriverStreamFailed : kDriverRunFailed;
  // A frame the encoder could not store, or a trailer that could not be
  // written, leaves a stream that must not become an image.
  if (!closed) {
    if (lastErrorText().empty()) setLastErrorText("The stream file could not be completed: " + streamPath);
    throw kDriverStreamFailed;
  }
  // The encoder keeps a frame whenever one was decoded, so an empty stream
  // means the input had no picture: its image would show nothing for ever.
  if (encoder.framesEncoded() == 0) {
    setLastErrorText("The input file has no picture to convert.");
    throw kDriverRunFailed;
  }
}

}  // namespace

int runConversion(const std::string& inputPath, const std::string& streamPath, const int trim[4],
                  bool autoTrim, int width, int height, int frameRateMode, int preFilter,
                  int bitrate, float gamma, const CancelSource& cancel, const DecodingGraphFactory& makeGraph,
                  const SizeControl& size, double keyFrameSeconds) {
  int result = kDriverOk;
  std::unique_ptr<StreamEncoder> encoder;
  std::unique_ptr<DecodingGraph> graph;
  BudgetPlan plan;
  try {
    encoder = std::make_unique<StreamEncoder>();
    const EncoderSettings settings{trim, autoTrim, width, height, frameRateMode, preFilter, bitrate, gamma,
                                   keyFrameSeconds};
    runSteps(*encoder, graph, makeGraph, inputPath, streamPath, settings, cancel, size, plan);
  } catch (int code) {
    result = code;
  } catch (...) {
    result = kDriverUnexpected;
  }
  // The graph goes first: once it is released no callback can reach the encoder.
  try {
    if (graph) graph->releaseDecodingGraph();
  } catch (...) {
    result = result == kDriverOk ? kDriverUnexpected : result;
  }
  graph.reset();
  encoder.reset();
  return result;
}

}  // namespace zepra
