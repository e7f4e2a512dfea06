#include "job/conversion_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "job/conversion_driver.h"
#include "job/input_check.h"
#include "job/rom_builder.h"
#include "platform/job_state.h"
#include "platform/temp_file.h"
#include "platform/thread_priority.h"

namespace zepra {

namespace {

// Reads the finished stream file whole; returns 0 or a result code.
int readStream(const std::filesystem::path& path, std::vector<std::uint8_t>& stream) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kJobStreamOpenFailed;
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_size < 0) {
    close(fd);
    return kJobStreamSizeFailed;
  }
  stream.resize(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < stream.size()) {
    ssize_t n = read(fd, stream.data() + done, stream.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  close(fd);
  return done == stream.size() ? kJobOk : kJobStreamReadFailed;
}

// Removes the stream file on every way out of the job.
class StreamFileGuard {
 public:
  explicit StreamFileGuard(std::filesystem::path path) : path_(std::move(path)) {}
  ~StreamFileGuard() { removeQuietly(path_); }
  StreamFileGuard(const StreamFileGuard&) = delete;
  StreamFileGuard& operator=(const StreamFileGuard&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

int runJob(const ConversionJob& job, const DecodingGraphFactory& makeGraph) {
  IdlePriority idle;

  // A pipe would block the second opening of the input, or give it nothing.
  if (std::optional<std::string> problem = specialInputProblem(job.inputPath)) {
    setLastErrorText("The input \"" + job.inputPath + "\" " + *problem + ".");
    return kJobInputError;
  }

  std::string error;
  std::optional<std::filesystem::path> dir = tempDirectory(&error);
  std::optional<std::filesystem::path> streamPath =
      dir ? createTempFile(*dir, "ZEPRA", &error) : std::nullopt;
  if (!streamPath) {
    // Without a completion the front end would wait for ever.
    setLastErrorText("No temporary file for the stream: " + error);
    return kJobRomFailed;
  }
  const StreamFileGuard streamFile(*streamPath);

  const DriverArguments a = driverArguments(job);
  const int driverResult = runConversion(job.inputPath, streamFile.path().string(), a.trim, a.autoTrim,
                                         a.width, a.height, a.frameRateMode, a.preFilter, a.bitrate,
                                         a.gamma, makeGraph);
  if (driverResult < 0) return -driverResult;

  std::vector<std::uint8_t> stream;
  int result = readStream(streamFile.path(), stream);
  if (result == kJobOk && !buildRomImage(job.outputPath, stream, job.romTitle)) result = kJobRomFailed;
  return result;
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
  return a;
}

int runConversionJob(const ConversionJob& job, const DecodingGraphFactory& makeGraph) noexcept {
  int result;
  try {
    result = runJob(job, makeGraph);
  } catch (...) {
    // Memory running out on the way, for instance; the stream file went
    // with its guard.
    result = kJobUnexpected;
  }
  postDone(result);
  return result;
}

}  // namespace zepra
