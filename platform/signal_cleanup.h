#pragma once
// Files that must not outlive the process (a job's stream file, an image not
// yet in its place) are removed by their owners; should a signal end the
// process first, the handlers installed here remove them before it ends.

#include <filesystem>
#include <optional>
#include <string>

namespace zepra {

// Sets the process up once, at the start of a program: every signal whose
// default ends the process first removes the registered files, then takes
// its course as before. SIGPIPE and SIGXFSZ are ignored, so that a closed
// pipe or a file-size limit fails the write that met it like any other
// write error instead of ending the process.
void installSignalCleanup();

// Removes the registered files now, for an exit that skips all cleanup.
// Async-signal-safe.
void removeRegisteredFiles();

// A new file "<dir>/<prefix>XXXXXX" (mode 0600, unique name), registered for
// removal from the moment it exists. Returns its path and registration slot,
// or nullopt with the reason in error.
struct RegisteredFile {
  std::filesystem::path path;
  int slot = -1;  // -1: all slots taken; the owner alone removes the file
};
std::optional<RegisteredFile> createRegisteredFile(const std::filesystem::path& dir,
                                                   const std::string& prefix, std::string* error);
// The file is no longer removed on a signal (its owner removed or renamed it).
void unregisterFile(int slot);

}  // namespace zepra
