#pragma once
// Runs one conversion from an input video to a finished stream file and
// reduces every failure to one result code.

#include <cstdint>
#include <functional>
#include <string>

#include "input/decoding_graph.h"
#include "job/image_size_range.h"
#include "platform/cancel_source.h"

namespace zepra {

inline constexpr int kDriverOk = 0;
inline constexpr int kDriverBadOutputName = -2;
inline constexpr int kDriverBadOptions = -3;
inline constexpr int kDriverGraphFailed = -4;
inline constexpr int kDriverRunFailed = -5;
inline constexpr int kDriverNoFrameCount = -6;
inline constexpr int kDriverStreamFailed = -7;  // the stream file could not be opened, written or completed
// The image would pass the largest cartridge size: the job's code of an image
// that could not be written, with the image builder's text.
inline constexpr int kDriverImageTooBig = -1000;
inline constexpr int kDriverUnexpected = -999;

// How the stream's size is held. By default the bitrate's running total
// paces the frames in one pass; with two passes the video is analysed first
// and the same allowance (or, with a target, what the target size leaves)
// is shared out by each frame's need.
struct SizeControl {
  bool twoPass = false;
  std::uint64_t fitBytes = 0;  // the most the image may weigh; 0: no target
  // For one stream of a cartridge of several: the bytes of the image ahead
  // of it (player, directory, earlier streams). The cartridge's job refuses
  // and warns for the whole image; the stream stops as soon as the image so
  // far passes 32 MiB. 0: a one-video image, only the player ahead.
  std::uint64_t bytesBefore = 0;
  // ... and the least the streams after it will add: the stream stops as soon
  // as the whole image is sure to pass 32 MiB.
  std::uint64_t bytesAfter = 0;
  // For one stream of a cartridge with a target size: the most its frames
  // may total, given its exact shape from the first pass (0: it cannot fit).
  // Set, it makes the stream two-pass and takes the place of fitBytes.
  std::function<std::uint64_t(const StreamShape&)> frameAllowance;
};

// trim: left, bottom, right, top; width and height -1 for automatic. The
// run polls cancel; a cancelled run is -5. keyFrameSeconds: an intra-coded
// frame at least this often (0: only the first).
int runConversion(const std::string& inputPath, const std::string& streamPath, const int trim[4],
                  bool autoTrim, int width, int height, int frameRateMode, int preFilter,
                  int bitrate, float gamma, const CancelSource& cancel,
                  const DecodingGraphFactory& makeGraph = createDecodingGraph, const SizeControl& size = {},
                  double keyFrameSeconds = 0);

}  // namespace zepra
