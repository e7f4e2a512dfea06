#pragma once
// The first pass's picture errors made true to the real compressor. The
// mosaic the first pass codes (AnalysisCompressor) sees a ninth of a
// picture's blocks with a ninth of the codebook entries, which leaves a
// structured picture (fine patterns, many colours) far poorer than the real
// compressor leaves it and grain only a little poorer: how pessimistic it is
// depends on the picture. Judged by those errors, a plan that leans towards
// the poorest pictures takes a fractal zoom for nearly as poor as grain. So
// the first pass also codes a few frames whole with the real compressor, and
// every frame's errors are scaled by how the real error compared with the
// mosaic's, at the same bytes, on the frames coded whole in its scene.
//
// A scene is a run of frames whose mosaic error at the middle price moves by
// less than a factor kSceneChange from each frame to the next. The first
// pass measures the second frame of a scene (when the last frame measured is
// at least kCalibrationGap frames back) and one frame in every
// kCalibrationEvery, each after coding the frame before it whole too, so
// that the real compressor works from a picture as the stream would have it.

#include <cstdint>
#include <span>
#include <vector>

#include "encoder/budget_plan.h"

namespace zepra {

inline constexpr double kSceneChange = 2.0;
inline constexpr std::uint32_t kCalibrationEvery = 32;
inline constexpr std::uint32_t kCalibrationGap = 16;

// Whether `current` begins a new scene after `previous`.
bool newScene(const FrameAnalysis& previous, const FrameAnalysis& current);

// Every frame's errors, scaled by the mean ratio (geometric) of real to
// mosaic error on the frames of its scene coded whole; a scene without one
// takes the ratio of the nearest frame coded whole. Unchanged when no frame
// was coded whole.
std::vector<FrameNeed> calibratedErrors(std::span<const FrameAnalysis> frames);

}  // namespace zepra
