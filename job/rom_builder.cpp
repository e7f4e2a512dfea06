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
// Links are followed at most this deep, as the kernel does.
constexpr int kMaxLinkHops = 40;

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

std::optional<std::filesystem::path> outputTarget(const std::string& outputPath, std::string* problem) {
  namespace fs = std::filesystem;
  fs::path target(outputPath);
  for (int hops = 0;; ++hops) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(target, error))) return target;
    const fs::path link = fs::read_symlink(target, error);
    if (error || hops == kMaxLinkHops) {
      if (problem) {
        *problem = "the symbolic link " + outputPath + " cannot be followed: " +
                   (error ? error.message() : "too many levels of links");
      }
      return std::nullopt;
    }
    target = link.is_absolute() ? link : target.parent_path() / link;
  }
}

std::optional<std::string> unreplaceableOutput(const std::filesystem::path& target) {
  struct stat st {};
  if (stat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return std::nullopt;
  if (S_ISDIR(st.st_mode)) return target.string() + " is a folder";
  return target.string() + " is not a regular file but a device, a pipe or a socket";
}

bool buildRomImage(const std::string& outputPath, std::span<const std::uint8_t> stream,
                   const std::string& romTitle, std::span<const std::uint8_t> image,
                   const ReplaceGate& mayReplace) {
  setLastErrorText(kResourceError);
  if (image.empty()) return false;

  const std::uint64_t total = std::uint64_t{image.size()} + stream.size();
  if (total > kMaxRomSize) {
    setLastErrorText(kRomTooBigText);
    return false;
  }

  // The image is written beside its target and renamed over it only when it
  // is complete, so a failure never leaves a partial file or loses an older
  // one. The temporary name's length does not depend on the output's, so
  // any name the folder takes can be written.
  std::string problem;
  const std::optional<std::filesystem::path> target = outputTarget(outputPath, &problem);
  if (!target) {
    setLastErrorText("The output cannot be written: " + problem);
    return false;
  }
  if (target->filename().empty() || std::filesystem::is_directory(*target)) {
    setLastErrorText(kOutputOpenError);
    return false;
  }
  if (const std::optional<std::string> special = unreplaceableOutput(*target)) {
    setLastErrorText("The output cannot be written: " + *special);
    return false;
  }
  std::filesystem::path dir = target->parent_path();
  if (dir.empty()) dir = ".";
  TempFile temp(dir, ".ZEPRA");
  int fd = temp ? open(temp.path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC) : -1;
  if (fd < 0) {
    setLastErrorText(kOutputOpenError);
    return false;
  }

  const std::uint64_t padded = ((total - 1) / kRomAlignment + 1) * kRomAlignment;
  int failedStep = 0;
  int lastStep = 0;  // the last step that wrote: a failed close is reported as it
  auto step = [&](int number, const std::uint8_t* data, std::size_t length, std::uint64_t offset) {
    if (failedStep != 0) return;
    lastStep = number;
    if (!writeAll(fd, data, length, static_cast<off_t>(offset))) failedStep = number;
  };
  step(1, image.data(), image.size(), 0);
  step(2, stream.data(), stream.size(), image.size());
  std::vector<std::uint8_t> padding(padded - total, 0xFF);
  if (!padding.empty()) step(3, padding.data(), padding.size(), total);
  std::array<std::uint8_t, kRomTitleLength> field{};
  if (!romTitle.empty()) {
    std::copy_n(romTitle.begin(), std::min<std::size_t>(romTitle.size(), kRomTitleLength), field.begin());
    step(4, field.data(), field.size(), kRomTitleOffset);
  }
  if (failedStep == 0) setCreationMode(fd);
  if (close(fd) != 0 && failedStep == 0) failedStep = lastStep;  // delayed write errors surface here

  if (failedStep != 0) {
    setLastErrorText(writeErrorText(failedStep));
    return false;
  }
  if (mayReplace && !mayReplace()) {
    setLastErrorText("The image was abandoned before it replaced the output.");
    return false;
  }
  if (!temp.renameTo(*target)) {
    setLastErrorText(kOutputOpenError);
    return false;
  }
  setLastErrorText({});
  return true;
}

}  // namespace zepra
