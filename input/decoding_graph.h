#pragma once
// The decoding graph: opens an input file, hands its formats to the encoder
// (a MediaSink: the StreamEncoder) while it is built, and feeds it decoded frames and sound while it
// runs. The conversion driver uses it in this order: build, queryFrameCount,
// run, release (release also after a failed build).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zepra {

class CancelSource;
class MediaSink;

// A stretch of the movie on the encoder's clock, in seconds: from start up
// to end, which is not part of it.
struct DecodingWindow {
  double start = 0.0;
  double end = 0.0;
};

// How a run limited to windows reached them.
struct WindowedRun {
  int seeks = 0;             // times the input was repositioned
  bool readThrough = false;  // a seek could not be trusted: read through from the start
  std::uint64_t picturesDecoded = 0;
};

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
  // Limits the runs that follow to these windows (in time order, apart):
  // they deliver the frames that decoding through delivers with times
  // inside them, with the same times and pictures, and nothing else: no
  // sound, and nothing after the last window, where the run ends, true
  // unless it failed. Once a frame past a window's end has come, that window
  // is complete. The graph skips to the key frame before a window where the
  // input allows it. No windows: the whole input.
  virtual void decodeOnly(std::vector<DecodingWindow> windows) = 0;
  // How the last run limited to windows reached them.
  virtual WindowedRun windowedRun() const = 0;
  // Where pictures that decoding can start from (key frames) come, as far as
  // the input's index tells before anything is decoded: seconds on the
  // encoder's clock, in time order, each at or just after its picture. A
  // window that starts at one of them needs nothing decoded before it.
  // Empty when the input keeps no index; valid between build and release.
  virtual std::vector<double> indexedKeyFrames() const = 0;
  // Releases everything; accepts a graph that was never built.
  virtual void releaseDecodingGraph() = 0;
};

using DecodingGraphFactory = std::function<std::unique_ptr<DecodingGraph>()>;

// The graph built on FFmpeg's libraries.
std::unique_ptr<DecodingGraph> createDecodingGraph();

}  // namespace zepra
