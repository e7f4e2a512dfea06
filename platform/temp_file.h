#pragma once
// Temporary files: the stream file of a job and the output image while it is
// being written. Neither outlives the job, whether it ends normally, fails or
// is ended by a signal.

#include <filesystem>
#include <optional>
#include <string>

namespace zepra {

// The user's temporary folder (honours TMPDIR); nullopt when it is unusable.
std::optional<std::filesystem::path> tempDirectory(std::string* error = nullptr);

// A new empty file "<dir>/<prefix>XXXXXX" with a unique name, readable and
// writable by the user only, removed when the object goes (and when a signal
// ends the process, see signal_cleanup.h) unless it was renamed into place.
class TempFile {
 public:
  // On failure the object is empty and error, when given, says why.
  TempFile(const std::filesystem::path& dir, const std::string& prefix, std::string* error = nullptr);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  explicit operator bool() const { return !path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

  // Renames the file over target (in the same file system); from then on it
  // is the target's. False, with errno set, when the rename failed.
  bool renameTo(const std::filesystem::path& target);

 private:
  std::filesystem::path path_;
  int slot_ = -1;
};

}  // namespace zepra
