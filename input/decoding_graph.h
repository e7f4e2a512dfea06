#pragma once
// The decoding graph: opens an input file, hands its formats to the encoder
// (a MediaSink: the StreamEncoder) while it is built, and feeds it decoded frames and sound while it
// runs. The conversion driver uses it in this order: build, queryFrameCount,
// run, release (release also after a failed build).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zepra {

class CancelSource;
class MediaSink;

class DecodingGraph {
 public:
  virtual ~DecodingGraph() = default;
  // Opens the input and gives the encoder its picture aspect, video format
  // and audio format. False (with lastErrorText set) on failure.
  virtual bool buildDecodingGraph(const std::string& inputPath, MediaSink& encoder) = 0;
  // The input's length in frames of the source rate.
  virtual bool queryFrameCount(std::uint64_t& frameCount, MediaSink& encoder) = 0;
  // Decodes to the end, looking every half second whether the job's cancel
  // source asks it to stop; true only when the whole input was decoded
  // without failure or cancellation. A cancelled run sets jobCancelled. No
  // encoder call happens after it returns.
  virtual bool runDecodingGraph(const CancelSource& cancel) = 0;
  // Releases everything; accepts a graph that was never built.
  virtual void releaseDecodingGraph() = 0;
};

using DecodingGraphFactory = std::function<std::unique_ptr<DecodingGraph>()>;

// The graph built on FFmpeg's libraries.
std::unique_ptr<DecodingGraph> createDecodingGraph();

}  // namespace zepra
