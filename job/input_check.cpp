#include "job/input_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zepra {

namespace {

std::optional<std::string> specialFileProblem(mode_t mode) {
  const char* kind = S_ISFIFO(mode)   ? "a pipe"
                     : S_ISSOCK(mode) ? "a socket"
                     : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                                                      : nullptr;
  if (kind == nullptr) return std::nullopt;
  return std::string("is ") + kind +
         ", not a file: the video is read more than once, which a pipe or device cannot give; "
         "save it to a file first";
}

}  // namespace

std::optional<std::string> inputFileProblem(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return "does not exist";
    return std::string("cannot be examined (") + std::strerror(errno) + ")";
  }
  if (S_ISDIR(st.st_mode)) return "is a folder, not a video file";
  if (std::optional<std::string> special = specialFileProblem(st.st_mode)) return special;
  if (access(path.c_str(), R_OK) != 0) return "cannot be read (no permission)";
  return std::nullopt;
}

std::optional<std::string> specialInputProblem(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return specialFileProblem(st.st_mode);
}

}  // namespace zepra
