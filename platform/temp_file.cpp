#include "platform/temp_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace zepra {

std::optional<std::filesystem::path> tempDirectory(std::string* error) {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec || !std::filesystem::is_directory(dir, ec)) {
    if (error) *error = "no temporary folder: " + (ec ? ec.message() : dir.string());
    return std::nullopt;
  }
  return dir;
}

std::optional<std::filesystem::path> createTempFile(const std::filesystem::path& dir,
                                                    const std::string& prefix,
                                                    std::string* error) {
  std::string pattern = (dir / (prefix + "XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());  // mode 0600
  if (fd < 0) {
    if (error) *error = "cannot create a temporary file in " + dir.string() + ": " + std::strerror(errno);
    return std::nullopt;
  }
  close(fd);
  return std::filesystem::path(name.data());
}

void removeQuietly(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec);
}

}  // namespace zepra
