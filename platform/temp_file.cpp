#include "platform/temp_file.h"

#include <cstdio>
#include <system_error>

#include "platform/signal_cleanup.h"

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

TempFile::TempFile(const std::filesystem::path& dir, const std::string& prefix, std::string* error) {
  if (std::optional<RegisteredFile> file = createRegisteredFile(dir, prefix, error)) {
    path_ = std::move(file->path);
    slot_ = file->slot;
  }
}

TempFile::~TempFile() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove(path_, ec);
  unregisterFile(slot_);
}

bool TempFile::renameTo(const std::filesystem::path& target) {
  if (path_.empty() || std::rename(path_.c_str(), target.c_str()) != 0) return false;
  // Only now: until the rename a signal must still remove the file.
  unregisterFile(slot_);
  path_.clear();
  return true;
}

}  // namespace zepra
