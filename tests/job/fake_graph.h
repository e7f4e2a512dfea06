#pragma once
// A decoding graph for tests: feeds the encoder a small synthetic clip
// (32 x 32 pixels at 25 frames per second, 16-bit mono sound at 22050 Hz,
// unless a test chooses another) and fails or throws at the step a test
// chooses. It records the calls it gets. Like the real graph it stops when
// the job's cancel source asks it to (looked at before every frame). Limited
// to windows, it delivers only the frames inside them, and no sound.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "input/decoding_graph.h"

namespace zepra::test {

struct GraphScript {
  bool buildOk = true;
  bool queryOk = true;
  bool runOk = true;
  bool throwInRun = false;
  int frames = 5;
  int announcedFrames = -1;  // the length queryFrameCount reports; -1: frames
  int width = 32;
  int height = 32;
  std::int64_t frameDuration = 400000;  // 100 ns units
  bool stopWhenRefused = false;  // end the run as failed, as the real graph does
  int framesDelivered = 0;       // frames handed to the encoder so far
  std::vector<std::string> calls;
  std::function<void()> onRelease;  // runs inside releaseDecodingGraph
  std::function<void(int frame)> beforeFrame;  // runs before each frame is delivered
  // The key frames its index tells of (indexedKeyFrames), in seconds.
  std::vector<double> keyFrames;
  // The windows a graph of this script was last limited to (decodeOnly).
  std::vector<DecodingWindow> windows;
};

// What the graph reports when the encoder refuses the video format.
inline constexpr const char* kFormatRefusedText = "the encoder refused the video format";

DecodingGraphFactory fakeGraphFactory(GraphScript& script);
// Graphs that follow the script of the input they are built for (at() of
// its path: an unknown input is a fault of the test).
DecodingGraphFactory fakeGraphFactory(std::map<std::string, GraphScript>& scripts);

}  // namespace zepra::test
