#include "job/conversion_driver.h"

#include <memory>

#include "encoder/stream_encoder.h"
#include "job/rom_builder.h"
#include "platform/job_state.h"
#include "player/player_image.h"

namespace zepra {

namespace {

// Runs the steps in order; a failing step throws its code.
void runSteps(StreamEncoder& encoder, std::unique_ptr<DecodingGraph>& graph,
              const DecodingGraphFactory& makeGraph, const std::string& inputPath,
              const std::string& streamPath, const int trim[4], bool autoTrim, int width,
              int height, int frameRateMode, int preFilter, int bitrate, float gamma,
              const CancelSource& cancel) {
  if (!encoder.setOutputName(streamPath.c_str())) throw kDriverBadOutputName;
  if (!encoder.setOptions(trim, autoTrim, width, height, frameRateMode, preFilter, bitrate, gamma))
    throw kDriverBadOptions;

  graph = makeGraph();
  if (!graph) throw kDriverGraphFailed;
  if (!graph->buildDecodingGraph(inputPath, encoder)) {
    // The encoder's own reason is more precise than the general format error.
    if (!encoder.formatRefusal().empty()) setLastErrorText(encoder.formatRefusal());
    throw kDriverGraphFailed;
  }

  std::uint64_t frameCount = 0;
  if (!graph->queryFrameCount(frameCount, encoder)) throw kDriverNoFrameCount;

  // Without an open stream the run could only produce an empty or broken
  // stream that would still be reported as success.
  if (!encoder.openStream(static_cast<std::uint32_t>(frameCount))) {
    encoder.closeStream();
    setLastErrorText("The stream file could not be written: " + streamPath);
    throw kDriverStreamFailed;
  }

  encoder.setImageLimit(playerImage().size(), kMaxRomSize);
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
                  int bitrate, float gamma, const CancelSource& cancel,
                  const DecodingGraphFactory& makeGraph) {
  int result = kDriverOk;
  std::unique_ptr<StreamEncoder> encoder;
  std::unique_ptr<DecodingGraph> graph;
  try {
    encoder = std::make_unique<StreamEncoder>();
    runSteps(*encoder, graph, makeGraph, inputPath, streamPath, trim, autoTrim, width, height,
             frameRateMode, preFilter, bitrate, gamma, cancel);
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
