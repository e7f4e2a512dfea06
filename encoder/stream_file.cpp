#include "encoder/stream_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace zepra {

StreamFile::~StreamFile() { close(); }

bool StreamFile::create(const std::string& path) {
  close();
  do {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  } while (fd_ < 0 && errno == EINTR);
  position_ = 0;
  return fd_ >= 0;
}

bool StreamFile::write(std::span<const std::uint8_t> bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    position_ += static_cast<std::uint64_t>(written);
    bytes = bytes.subspan(static_cast<std::size_t>(written));
  }
  return true;
}

bool StreamFile::writeWord(std::uint32_t word) {
  const std::array<std::uint8_t, 4> bytes{
      static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
      static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 24)};
  return write(bytes);
}

bool StreamFile::seek(std::uint64_t offset) {
  if (fd_ < 0 || ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
  position_ = offset;
  return true;
}

bool StreamFile::truncate(std::uint64_t offset) {
  return fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(offset)) == 0 && seek(offset);
}

bool StreamFile::close() {
  if (fd_ < 0) return true;
  const int fd = fd_;
  fd_ = -1;
  position_ = 0;
  return ::close(fd) == 0;
}

}  // namespace zepra
