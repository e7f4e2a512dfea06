#pragma once
// What changes from one prepared frame to the next, judged from the frames
// alone, without compressing them: the share of 4 x 4 blocks that change
// visibly, and the share of blocks whose colour the previous frame did not
// have (coarse colour bins), which is near 1 at a scene cut, where the
// player's codebooks are of no use, and near 0 in motion or grain, where the
// colours stay.

#include <cstdint>

namespace zepra {

struct FrameChange {
  double changedBlocks = 1.0;  // 0..1
  double newColours = 1.0;     // 0..1; 1 for the first frame
};

// frame and previous: width x height 24-bit pixels, rows bottom-up, width a
// multiple of 4 (no row padding); previous null for the first frame.
FrameChange frameChange(const std::uint8_t* frame, const std::uint8_t* previous, int width, int height);

}  // namespace zepra
