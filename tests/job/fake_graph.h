#pragma once
// A decoding graph for tests: feeds the encoder a small synthetic clip
// (32 x 32 pixels at 25 frames per second, 16-bit mono sound at 22050 Hz) and
// fails or throws at the step a test chooses. It records the calls it gets.
// Like the real graph it stops when the encoder takes no more frames or the
// job's cancel source asks it to (looked at before every frame).

#include <functional>
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
  std::vector<std::string> calls;
  std::function<void()> onRelease;  // runs inside releaseDecodingGraph
  std::function<void(int frame)> beforeFrame;  // runs before each frame is delivered
};

DecodingGraphFactory fakeGraphFactory(GraphScript& script);

}  // namespace zepra::test
