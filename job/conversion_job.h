#pragma once
// One conversion from start to end, run on a worker thread: the stream file
// in a temporary file, the driver, the read-back and the output image. It
// reports exactly one completion (postDone) with a result code, and never
// throws: whatever goes wrong inside becomes a result.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "input/decoding_graph.h"
#include "job/conversion_driver.h"
#include "job/settings_model.h"
#include "platform/cancel_source.h"

namespace zepra {

// Result codes of a job.
inline constexpr int kJobOk = 0;
inline constexpr int kJobBadOutputName = 2;    // driver -2
inline constexpr int kJobBadOptions = 3;       // driver -3
inline constexpr int kJobInputError = 4;       // driver -4
inline constexpr int kJobRunFailed = 5;        // driver -5, also a cancelled job
inline constexpr int kJobNoFrameCount = 6;     // driver -6
inline constexpr int kJobStreamFailed = 7;     // driver -7, or no temporary file: the stream file could not be made, written or completed
inline constexpr int kJobUnexpected = 999;     // driver -999
inline constexpr int kJobRomFailed = 1000;     // the image builder failed
inline constexpr int kJobStreamOpenFailed = 1001;
inline constexpr int kJobStreamSizeFailed = 1002;
inline constexpr int kJobStreamReadFailed = 1003;

// The driver's arguments derived from a job.
struct DriverArguments {
  int trim[4] = {0, 0, 0, 0};  // left, bottom, right, top
  bool autoTrim = false;
  int width = -1;
  int height = -1;
  int frameRateMode = -1;
  int preFilter = k4xDithering;
  int bitrate = kDefaultBitrate;
  float gamma = 1.0f;
  double keyFrameSeconds = 0;
};
DriverArguments driverArguments(const ConversionJob& job);

// Runs the job on the calling thread and posts its result; returns it too.
// The job starts with the job state cleared and stops when its own cancel
// source asks it to: while the input is decoded, and at the latest before
// the finished image is put in place. A cancelled job writes no image and
// ends with jobCancelled set and result 5. An input that is not a regular
// file is refused (result kJobInputError) before anything is created or
// opened. Never throws.
int runConversionJob(const ConversionJob& job, CancelSource& cancel,
                     const DecodingGraphFactory& makeGraph = createDecodingGraph) noexcept;

// How the job's own settings hold the size of a one-video image.
SizeControl sizeControl(const ConversionJob& job);

// The first part of a job: converts job.inputPath into a stream in memory
// (on disk only in a temporary file while the driver writes it), its size
// held as `size` says. Returns kJobOk or a result code with lastErrorText
// set; posts nothing.
int convertToStream(const ConversionJob& job, CancelSource& cancel, const DecodingGraphFactory& makeGraph,
                    const SizeControl& size, std::vector<std::uint8_t>& stream);
// The last part: writes job.outputPath from the bytes that follow the
// player image. kJobOk, kJobRomFailed, or the result of a cancel that came
// before the image was put in place.
int writeImage(const ConversionJob& job, std::span<const std::uint8_t> contents, CancelSource& cancel);

}  // namespace zepra
