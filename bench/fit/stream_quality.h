#pragma once
// What the benchmarks of the size control share: clips of lavfi scenes with
// hard cuts, conversions by the real job, and the picture a stream shows on
// the console measured against the clip's frames in 8-bit RGB.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "job/conversion_job.h"

namespace zepra::bench {

using Frame = std::vector<std::uint8_t>;  // rgb24, top-down

// A clip of scenes one after the other at 30 frames per second, each a lavfi
// video source of `seconds` (its graph may go on with filters after the
// source), over a 440 Hz tone; FFV1 in AVI, bgr0, so the job sees the exact
// pixels measured.
bool makeSceneClip(const std::filesystem::path& clip, std::span<const std::string> scenes, int seconds);

// The clip's frames that the "1/2" frame rate keeps: 0, 2, 4, ...
std::vector<Frame> keptFrames(const std::filesystem::path& clip, int width, int height);

// A job as the benchmarks convert: the "1/2" frame rate, no pre-filter and
// no brightness correction, so that the error measured is the compression's.
ConversionJob benchJob(const std::filesystem::path& clip, int bitrate);

struct Conversion {
  std::vector<std::uint8_t> stream;  // header, records, sound trailer
  double seconds = 0;           // wall clock
  double processorSeconds = 0;  // of every thread of the process: steadier on a shared machine
};
// Converts as the job does, the size held as `size` says; false (with the
// job's text on stderr) when the job fails.
bool convert(const ConversionJob& job, const SizeControl& size, Conversion& out);

struct StreamQuality {
  std::uint64_t frameBytes = 0;  // the compressed frames, as the byte budgets count them
  double globalPsnr = 0;         // over all frames
  double worstPsnr = 0;          // mean of the worst 5 % of frames
  std::size_t largestRecord = 0;
  std::uint32_t longestRun = 0;  // most records from one intra-coded record to the next
};
// Walks the stream's records as the player does and measures every frame
// shown against source; false for a stream it cannot walk.
bool measureStream(std::span<const std::uint8_t> stream, const std::vector<Frame>& source, StreamQuality& q);

}  // namespace zepra::bench
