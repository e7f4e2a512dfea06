#include "input/riff_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zepra {

namespace {

constexpr std::uint32_t kRiff = fourCC("RIFF");
constexpr std::uint32_t kList = fourCC("LIST");

std::uint32_t readLe32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

class FileByteSource final : public ByteSource {
 public:
  FileByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  ~FileByteSource() override { close(fd_); }
  FileByteSource(const FileByteSource&) = delete;
  FileByteSource& operator=(const FileByteSource&) = delete;

  std::uint64_t size() const override { return size_; }

  std::size_t readAt(std::uint64_t offset, void* data, std::size_t n) override {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t got = pread(fd_, static_cast<char*>(data) + done, n - done,
                                static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

}  // namespace

std::unique_ptr<ByteSource> openFileByteSource(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  return std::make_unique<FileByteSource>(fd, static_cast<std::uint64_t>(st.st_size));
}

std::uint64_t RiffReader::endOf(const RiffChunk& parent) const {
  return std::min(parent.dataOffset + parent.size, source_.size());
}

bool RiffReader::find(std::uint64_t end, std::uint32_t id, bool typed, std::uint32_t type,
                      RiffChunk& chunk) {
  const std::uint64_t headerSize = typed ? 12 : 8;
  // Every step moves at least one 8-byte header on, and all arithmetic is in
  // 64 bits, so a lying size can neither wrap round nor hold the search in place.
  while (position_ + headerSize <= end) {
    unsigned char header[12];
    if (source_.readAt(position_, header, headerSize) != headerSize) return false;
    const std::uint32_t foundId = readLe32(header);
    const std::uint32_t size = readLe32(header + 4);
    const std::uint64_t dataOffset = position_ + 8;
    if (foundId == id && (!typed || readLe32(header + 8) == type)) {
      chunk.id = foundId;
      chunk.size = size;
      chunk.type = typed ? readLe32(header + 8) : 0;
      chunk.dataOffset = dataOffset;
      position_ = dataOffset + (typed ? 4 : 0);
      return true;
    }
    position_ = dataOffset + size + (size & 1u);
  }
  return false;
}

bool RiffReader::findRiff(std::uint32_t formType, RiffChunk& chunk) {
  return find(source_.size(), kRiff, true, formType, chunk);
}

bool RiffReader::findList(const RiffChunk& parent, std::uint32_t listType, RiffChunk& chunk) {
  return find(endOf(parent), kList, true, listType, chunk);
}

bool RiffReader::findChunk(const RiffChunk& parent, std::uint32_t id, RiffChunk& chunk) {
  return find(endOf(parent), id, false, 0, chunk);
}

std::size_t RiffReader::read(void* data, std::size_t n) {
  const std::uint64_t size = source_.size();
  if (position_ >= size) return 0;
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - position_));
  const std::size_t got = source_.readAt(position_, data, count);
  position_ += got;
  return got;
}

void RiffReader::ascend(const RiffChunk& chunk) {
  position_ = chunk.dataOffset + chunk.size + (chunk.size & 1u);
}

}  // namespace zepra
