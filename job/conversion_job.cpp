#include "job/conversion_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <vector>

#include "job/conversion_driver.h"
#include "job/rom_builder.h"
#include "platform/job_state.h"
#include "platform/cancel_source.h"
#include "platform/temp_file.h"
#include "platform/thread_priority.h"

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

int finish(int result) {
  postDone(result);
  return result;
}

// A cancel the job took after decoding: it ends like one taken while decoding.
int finishCancelled() {
  jobCancelled = true;
  setLastErrorText(std::strerror(ECANCELED));
  return finish(kJobRunFailed);
}

}  // namespace

DriverArguments driverArguments(const ConversionJob& job) {
  DriverArguments a;
  const bool manualMargins = job.trimMode == 2 || job.trimMode == 3;
  if (manualMargins) {
    a.trim[0] = job.trimLeft;
    a.trim[1] = job.trimBottom;
    a.trim[2] = job.trimRight;
    a.trim[3] = job.trimTop;
  }
  a.autoTrim = job.trimMode == 1 || job.trimMode == 2;
  a.width = job.keepAspect ? -1 : job.width;
  a.height = job.keepAspect ? -1 : job.height;
  a.frameRateMode = job.frameRateIndex - 1;
  a.preFilter = job.preFilter;
  a.bitrate = job.bitrate;
  a.gamma = job.gammaEnabled ? job.gamma : 1.0f;
  return a;
}

int runConversionJob(const ConversionJob& job, CancelSource& cancel, const DecodingGraphFactory& makeGraph) {
  IdlePriority idle;
  // Nothing an earlier job left may pass for this job's detail.
  resetJobState();

  std::string error;
  std::optional<std::filesystem::path> dir = tempDirectory(&error);
  std::optional<TempFile> streamFile;
  if (dir) streamFile.emplace(*dir, "ZEPRA", &error);
  if (!streamFile || !*streamFile) {
    // Without a completion the front end would wait for ever.
    setLastErrorText("No temporary file for the stream: " + error);
    return finish(kJobStreamFailed);
  }
  const std::filesystem::path& streamPath = streamFile->path();

  const DriverArguments a = driverArguments(job);
  int driverResult;
  try {
    driverResult = runConversion(job.inputPath, streamPath.string(), a.trim, a.autoTrim, a.width,
                                 a.height, a.frameRateMode, a.preFilter, a.bitrate, a.gamma, cancel,
                                 makeGraph);
  } catch (...) {
    driverResult = kDriverUnexpected;
  }
  if (driverResult < 0) return finish(-driverResult);
  // A cancel that came after the decoding (while the sound was encoded):
  // until the image is in place it still means no image.
  if (cancel.cancelRequested()) return finishCancelled();

  std::vector<std::uint8_t> stream;
  if (const int result = readStream(streamPath, stream); result != kJobOk) return finish(result);
  if (!buildRomImage(job.outputPath, stream, job.romTitle, [&] { return cancel.passLastCancelPoint(); })) {
    return cancel.cancelRequested() ? finishCancelled() : finish(kJobRomFailed);
  }
  return finish(kJobOk);
}

}  // namespace zepra
