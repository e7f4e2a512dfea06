#pragma once
// What the image of a job will weigh, before it is converted. The input's
// length and formats give the stream's shape, and with it the lowest and the
// largest image the settings can produce (job/image_size_range.h). Calm videos
// spend far less than the byte budget, so the likely size comes from
// compressing a few short stretches spread over the video with the job's own
// settings and encoder.

#include <cstdint>
#include <optional>
#include <string>

#include "input/decoding_graph.h"
#include "job/conversion_job.h"
#include "job/image_size_range.h"
#include "platform/cancel_source.h"

namespace zepra {

struct SizeEstimate {
  std::uint64_t sourceFrames = 0;  // the input's length in its own frames
  StreamShape shape;               // frames after the frame-rate reduction
  int bitrate = 0;
  double durationSeconds = 0.0;
  // Sizes of the output file, padding included.
  std::uint64_t imageBytesLowest = 0;  // every frame as small as it can be
  std::uint64_t imageBytesMax = 0;     // every frame spending all the budget allows
  std::uint64_t imageBytesLikely = 0;  // from the sample; imageBytesMax when none was taken
  bool sampled = false;
  // What the sample says all the frames take before any budget holds them
  // within the largest size (key frames included); 0 when none was taken.
  // With two passes the sample is taken at the highest bitrate: what the
  // frames need when nothing holds them back.
  std::uint64_t frameBytesSampled = 0;
  // The stream alone (header, records, sound), no player and no padding:
  // what it adds to a cartridge of several videos.
  std::uint64_t streamBytesLowest = 0;
  std::uint64_t streamBytesMax = 0;
  std::uint64_t streamBytesLikely = 0;
  // The longest video of these settings that can fit the largest cartridge.
  double longestFittingSeconds = 0.0;
};

enum class EstimateDepth {
  kLength,   // the input's length and formats only: instant
  kSampled,  // also compress a sample of the frames for the likely size
};

// Opens the input as the job would. Nothing when the input or the settings
// cannot be converted: lastErrorText says why, and `failure` (when given)
// receives the job's result code for it. Nothing too when cancel asks the
// sample to stop before it is complete. Writes no file but a temporary one
// it removes.
std::optional<SizeEstimate> estimateImageSize(const ConversionJob& job, EstimateDepth depth,
                                              const DecodingGraphFactory& makeGraph = createDecodingGraph,
                                              int* failure = nullptr, const CancelSource* cancel = nullptr);

// Why no image of this shape fits `limit` bytes, not even with every frame at
// its smallest, in the words the job refuses it with: a target size when
// `target`, else the largest cartridge. Nothing when the lowest image fits.
std::optional<std::string> neverFitsText(std::uint64_t playerBytes, const StreamShape& shape, std::uint64_t limit,
                                         bool target);

// What a target size gives a video of this shape, with this program's player.
struct TargetFigures {
  int bitrate = 0;                // the bitrate the target amounts to
  std::uint64_t imageBytes = 0;   // the most the image can then weigh
  bool filled = false;            // false: even the highest bitrate stays below the target
  std::optional<std::string> refusal;  // the job's refusal when the target cannot hold the video
};
TargetFigures targetFigures(const StreamShape& shape, std::uint64_t targetBytes);

// The estimate of a stream of this shape whose frames total frameBytes
// (likely) at bitrate: the lowest, largest and likely sizes filled in. The
// frames total at most largestFrames, by default what the bitrate's running
// total allows.
SizeEstimate estimateForShape(const StreamShape& shape, int bitrate, std::uint64_t playerBytes,
                              std::optional<std::uint64_t> likelyFrameBytes,
                              std::optional<std::uint64_t> largestFrames = std::nullopt);

}  // namespace zepra
