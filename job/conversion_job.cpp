#include "job/conversion_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <vector>

#include "job/conversion_driver.h"
#include "job/image_size_range.h"
#include "job/input_check.h"
#include "job/rom_builder.h"
#include "platform/job_state.h"
#include "platform/cancel_source.h"
#include "platform/temp_file.h"
#include "platform/thread_priority.h"
#include "player/player_image.h"

namespace zepra {

namespace {

// Reads the finished stream file whole; returns 0 or a result code, with
// the reason in lastErrorText.
int readStream(const std::filesystem::path& path, std::vector<std::uint8_t>& stream) {
  auto failed = [&](int result, const char* what) {
    const char* reason = errno != 0 ? std::strerror(errno) : "it is shorter than its size";
    setLastErrorText(std::string("The stream file could not be ") + what + ": " + path.string() + ": " + reason);
    return result;
  };
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failed(kJobStreamOpenFailed, "opened");
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_size < 0) {
    const int result = failed(kJobStreamSizeFailed, "measured");
    close(fd);
    return result;
  }
  stream.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  errno = 0;
  while (done < stream.size()) {
    ssize_t n = read(fd, stream.data() + done, stream.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const int result = done == stream.size() ? kJobOk : failed(kJobStreamReadFailed, "read back");
  close(fd);
  return result;
}

// A cancel the job took after decoding: it ends like one taken while decoding.
int cancelled() {
  jobCancelled = true;
  setLastErrorText(std::strerror(ECANCELED));
  return kJobRunFailed;
}

int runJob(const ConversionJob& job, CancelSource& cancel, const DecodingGraphFactory& makeGraph) {
  IdlePriority idle;
  // Nothing an earlier job left may pass for this job's detail.
  resetJobState();
  std::vector<std::uint8_t> stream;
  if (const int result = convertToStream(job, cancel, makeGraph, sizeControl(job), stream); result != kJobOk)
    return result;
  return writeImage(job, stream, cancel);
}

}  // namespace

DriverArguments driverArguments(const ConversionJob& job) {
  DriverArguments a;
  if (usesMargins(job.trimMode)) {
    a.trim[0] = job.trimLeft;
    a.trim[1] = job.trimBottom;
    a.trim[2] = job.trimRight;
    a.trim[3] = job.trimTop;
  }
  a.autoTrim = usesAutoTrim(job.trimMode);
  a.width = job.keepAspect ? -1 : job.width;
  a.height = job.keepAspect ? -1 : job.height;
  // The list's "Auto" is the encoder's mode -1, "Original" its mode 0.
  a.frameRateMode = static_cast<int>(job.frameRateIndex) - 1;
  a.preFilter = job.preFilter;
  a.bitrate = job.bitrate;
  a.gamma = job.gammaEnabled ? job.gamma : 1.0f;
  a.keyFrameSeconds = job.keyFrameSeconds;
  return a;
}

SizeControl sizeControl(const ConversionJob& job) {
  SizeControl size;
  size.twoPass = job.twoPass;
  size.fitBytes = job.fitBytes;
  return size;
}

int convertToStream(const ConversionJob& job, CancelSource& cancel, const DecodingGraphFactory& makeGraph,
                    const SizeControl& size, std::vector<std::uint8_t>& stream) {
  // A pipe would block the second opening of the input, or give it nothing.
  if (std::optional<std::string> problem = specialInputProblem(job.inputPath)) {
    setLastErrorText("The input \"" + job.inputPath + "\" " + *problem + ".");
    return kJobInputError;
  }

  std::string error;
  std::optional<std::filesystem::path> dir = tempDirectory(&error);
  std::optional<TempFile> streamFile;
  if (dir) streamFile.emplace(*dir, "ZEPRA", &error);
  if (!streamFile || !*streamFile) {
    setLastErrorText("No temporary file for the stream: " + error);
    return kJobStreamFailed;
  }
  const std::filesystem::path& streamPath = streamFile->path();

  const DriverArguments a = driverArguments(job);
  const int driverResult = runConversion(job.inputPath, streamPath.string(), a.trim, a.autoTrim, a.width,
                                         a.height, a.frameRateMode, a.preFilter, a.bitrate, a.gamma, cancel,
                                         makeGraph, size, a.keyFrameSeconds);
  if (driverResult < 0) return -driverResult;
  // A cancel that came after the decoding (while the sound was encoded):
  // until the image is in place it still means no image.
  if (cancel.cancelRequested()) return cancelled();
  if (const int result = readStream(streamPath, stream); result != kJobOk) return result;
  // The plan keeps a target by construction; an image over it is still
  // never written.
  if (size.fitBytes != 0 && paddedImageBytes(playerImage().size() + stream.size()) > size.fitBytes) {
    setLastErrorText("The image came out larger than the target size of " + std::to_string(size.fitBytes) +
                     " bytes.");
    return kJobRomFailed;
  }
  return kJobOk;
}

int writeImage(const ConversionJob& job, std::span<const std::uint8_t> contents, CancelSource& cancel) {
  if (buildRomImage(job.outputPath, contents, job.romTitle, [&] { return cancel.passLastCancelPoint(); }))
    return kJobOk;
  return cancel.cancelRequested() ? cancelled() : kJobRomFailed;
}

int runConversionJob(const ConversionJob& job, CancelSource& cancel,
                     const DecodingGraphFactory& makeGraph) noexcept {
  int result;
  try {
    result = runJob(job, cancel, makeGraph);
  } catch (...) {
    // Memory running out on the way, for instance; the temporary file goes
    // with its owner.
    result = kJobUnexpected;
  }
  // The temporary file is gone before the front end hears of the end.
  postDone(result);
  return result;
}

}  // namespace zepra
