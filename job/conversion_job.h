#pragma once
// One conversion from start to end, run on a worker thread: the stream file
// in a temporary file, the driver, the read-back and the output image. It
// reports exactly one completion (postDone) with a result code.

#include <cstdint>
#include <string>

#include "input/decoding_graph.h"

namespace zepra {

// Result codes of a job.
inline constexpr int kJobOk = 0;
inline constexpr int kJobBadOutputName = 2;    // driver -2
inline constexpr int kJobBadOptions = 3;       // driver -3
inline constexpr int kJobInputError = 4;       // driver -4
inline constexpr int kJobRunFailed = 5;        // driver -5, also a cancelled job
inline constexpr int kJobNoFrameCount = 6;     // driver -6
inline constexpr int kJobStreamFailed = 7;      // driver -7: stream file not opened or not completed
inline constexpr int kJobUnexpected = 999;     // driver -999
inline constexpr int kJobRomFailed = 1000;     // the image builder failed (also: no temporary file)
inline constexpr int kJobStreamOpenFailed = 1001;
inline constexpr int kJobStreamSizeFailed = 1002;
inline constexpr int kJobStreamReadFailed = 1003;

// The settings of one job, as the dialog or the command line holds them.
struct ConversionJob {
  std::string inputPath;
  std::string outputPath;
  std::string romTitle;  // at most 12 bytes reach the image
  int bitrate = 120;     // kilobytes per second
  int width = 240;
  int height = 160;
  bool keepAspect = true;  // width and height are chosen automatically
  int trimMode = 0;        // 0..3, see trimArguments
  int trimLeft = 0;
  int trimBottom = 0;
  int trimRight = 0;
  int trimTop = 0;
  int frameRateIndex = 0;  // 0 "Auto", 1 "Original", 2..8 the reductions
  int preFilter = 3;
  bool gammaEnabled = true;
  float gamma = 1.33f;
  // A target size for the image in bytes (0: none). With one, the bitrate
  // follows from it and the frames are allocated in two passes.
  std::uint64_t fitBytes = 0;
  // Two passes at the bitrate: the same total, spent where the frames need it.
  bool twoPass = false;
};

// The driver's arguments derived from a job.
struct DriverArguments {
  int trim[4] = {0, 0, 0, 0};  // left, bottom, right, top
  bool autoTrim = false;
  int width = -1;
  int height = -1;
  int frameRateMode = -1;
  int preFilter = 3;
  int bitrate = 120;
  float gamma = 1.0f;
};
DriverArguments driverArguments(const ConversionJob& job);

// Runs the job on the calling thread and posts its result; returns it too.
int runConversionJob(const ConversionJob& job,
                     const DecodingGraphFactory& makeGraph = createDecodingGraph);

}  // namespace zepra
