#include "job/conversion_job.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <vector>

#include "job/conversion_driver.h"
#include "job/image_size_range.h"
#include "job/rom_builder.h"
#include "platform/job_state.h"
#include "platform/temp_file.h"
#include "platform/thread_priority.h"
#include "player/player_image.h"

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

int finish(int result) {
  postDone(result);
  return result;
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

int runConversionJob(const ConversionJob& job, const DecodingGraphFactory& makeGraph) {
  IdlePriority idle;

  std::string error;
  std::optional<std::filesystem::path> dir = tempDirectory(&error);
  std::optional<std::filesystem::path> streamPath =
      dir ? createTempFile(*dir, "ZEPRA", &error) : std::nullopt;
  if (!streamPath) {
    // Without a completion the front end would wait for ever.
    setLastErrorText("No temporary file for the stream: " + error);
    return finish(kJobRomFailed);
  }

  const DriverArguments a = driverArguments(job);
  int driverResult;
  try {
    SizeControl size;
    size.twoPass = job.twoPass;
    size.fitBytes = job.fitBytes;
    driverResult = runConversion(job.inputPath, streamPath->string(), a.trim, a.autoTrim, a.width,
                                 a.height, a.frameRateMode, a.preFilter, a.bitrate, a.gamma,
                                 makeGraph, size);
  } catch (...) {
    driverResult = kDriverUnexpected;
  }
  if (driverResult < 0) {
    removeQuietly(*streamPath);
    return finish(-driverResult);
  }

  std::vector<std::uint8_t> stream;
  int result = readStream(*streamPath, stream);
  removeQuietly(*streamPath);
  // The plan keeps a target by construction; an image over it is still
  // never written.
  if (result == kJobOk && job.fitBytes != 0 &&
      paddedImageBytes(playerImage().size() + stream.size()) > job.fitBytes) {
    setLastErrorText("The image came out larger than the target size of " + std::to_string(job.fitBytes) +
                     " bytes.");
    result = kJobRomFailed;
  }
  if (result == kJobOk && !buildRomImage(job.outputPath, stream, job.romTitle)) result = kJobRomFailed;
  return finish(result);
}

}  // namespace zepra
