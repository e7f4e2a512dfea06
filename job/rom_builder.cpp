#include "job/rom_builder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/job_state.h"
#include "platform/temp_file.h"

namespace zepra {

namespace {

const char* const kResourceError = "内部资源错误";
const char* const kOutputOpenError = "输出文件夹打开失败";

std::string writeErrorText(int step) {
  char text[64];
  std::snprintf(text, sizeof text, "访问文件夹错误 (% d)", step);
  return text;
}

// Writes all bytes at the given offset; a short write that makes no progress is a failure.
bool writeAll(int fd, const std::uint8_t* data, std::size_t length, off_t offset) {
  while (length > 0) {
    ssize_t n = pwrite(fd, data, length, offset);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<std::size_t>(n);
    offset += n;
  }
  return true;
}

// The image gets the permissions a newly created file would get.
void setCreationMode(int fd) {
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
}

}  // namespace

bool buildRomImage(const std::string& outputPath, std::span<const std::uint8_t> stream,
                   const std::string& romTitle, std::span<const std::uint8_t> image) {
  setLastErrorText(kResourceError);
  if (image.empty()) return false;

  const std::uint64_t total = std::uint64_t{image.size()} + stream.size();
  if (total > kMaxRomSize) {
    setLastErrorText(kRomTooBigText);
    return false;
  }

  // The image is written beside the output and renamed over it only when it
  // is complete, so a failure never leaves a partial file or loses an older one.
  const std::filesystem::path output(outputPath);
  std::filesystem::path dir = output.parent_path();
  if (dir.empty()) dir = ".";
  auto temp = output.filename().empty()
                  ? std::nullopt
                  : createTempFile(dir, "." + output.filename().string() + ".ZEPRA");
  int fd = temp ? open(temp->c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC) : -1;
  if (fd < 0) {
    if (temp) removeQuietly(*temp);
    setLastErrorText(kOutputOpenError);
    return false;
  }

  const std::uint64_t padded = ((total - 1) / kRomAlignment + 1) * kRomAlignment;
  int failedStep = 0;
  if (!writeAll(fd, image.data(), image.size(), 0)) {
    failedStep = 1;
  } else if (!writeAll(fd, stream.data(), stream.size(), static_cast<off_t>(image.size()))) {
    failedStep = 2;
  } else if (padded > total) {
    std::vector<std::uint8_t> padding(padded - total, 0xFF);
    if (!writeAll(fd, padding.data(), padding.size(), static_cast<off_t>(total))) failedStep = 3;
  }
  if (failedStep == 0 && !romTitle.empty()) {
    std::array<std::uint8_t, kRomTitleLength> field{};
    std::copy_n(romTitle.begin(), std::min<std::size_t>(romTitle.size(), kRomTitleLength), field.begin());
    if (!writeAll(fd, field.data(), field.size(), kRomTitleOffset)) failedStep = 4;
  }
  if (failedStep == 0) setCreationMode(fd);
  if (close(fd) != 0 && failedStep == 0) failedStep = 3;  // delayed write errors surface here

  if (failedStep != 0) {
    removeQuietly(*temp);
    setLastErrorText(writeErrorText(failedStep));
    return false;
  }
  if (std::rename(temp->c_str(), outputPath.c_str()) != 0) {
    removeQuietly(*temp);
    setLastErrorText(kOutputOpenError);
    return false;
  }
  setLastErrorText({});
  return true;
}

}  // namespace zepra
