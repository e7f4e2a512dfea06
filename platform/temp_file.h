#pragma once
// Unique temporary files: the stream file of a job and the output image
// while it is being written.

#include <filesystem>
#include <optional>
#include <string>

namespace zepra {

// The user's temporary folder (honours TMPDIR); nullopt when it is unusable.
std::optional<std::filesystem::path> tempDirectory(std::string* error = nullptr);

// Creates a new empty file "<dir>/<prefix>XXXXXX" with a unique name, readable
// and writable by the user only, and returns its path. On failure returns
// nullopt and, when error is given, says why.
std::optional<std::filesystem::path> createTempFile(const std::filesystem::path& dir,
                                                    const std::string& prefix = "ZEPRA",
                                                    std::string* error = nullptr);

// Removes a file and ignores a missing one.
void removeQuietly(const std::filesystem::path& path);

}  // namespace zepra
