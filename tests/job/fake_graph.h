#pragma once
// A decoding graph for tests: feeds the encoder a small synthetic clip
// (32 x 32 pixels at 25 frames per second, 16-bit mono sound at 22050 Hz) and
// fails or throws at the step a test chooses. It records the calls it gets.

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
};

DecodingGraphFactory fakeGraphFactory(GraphScript& script);

}  // namespace zepra::test
