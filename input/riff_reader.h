#pragma once
// A reader for the chunk structure of RIFF files (AVI, WAV): descends into
// chunks and lists by their codes, reads their data and ascends out of them.
// It never reads outside the file, and every search moves forward by at least
// one chunk header, so a malformed file ends a search instead of looping.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zepra {

// Four-character code as stored in the file: the first character in the low byte.
constexpr std::uint32_t fourCC(const char (&code)[5]) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(code[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(code[3])) << 24;
}

// Random access to the bytes of a file (or of memory, in tests).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Reads n bytes at offset, which the caller keeps inside size(); returns
  // the number read, fewer only when the file could not deliver them.
  virtual std::size_t readAt(std::uint64_t offset, void* data, std::size_t n) = 0;
};

// A regular file opened for reading; null when the path names no readable
// regular file (a pipe or device could block the reader for ever).
std::unique_ptr<ByteSource> openFileByteSource(const std::string& path);

struct RiffChunk {
  std::uint32_t id = 0;    // 'RIFF', 'LIST' or the chunk's own code
  std::uint32_t size = 0;  // the size as the file states it, possibly a lie
  std::uint32_t type = 0;  // form or list type of 'RIFF' and 'LIST' chunks
  std::uint64_t dataOffset = 0;  // first byte after the size field
};

class RiffReader {
 public:
  explicit RiffReader(ByteSource& source) : source_(source) {}

  // Each search starts at the current position and ends at the end of the
  // parent (or of the file); on success the position is at the chunk's data,
  // after the type of a 'RIFF' or 'LIST' chunk.
  bool findRiff(std::uint32_t formType, RiffChunk& chunk);
  bool findList(const RiffChunk& parent, std::uint32_t listType, RiffChunk& chunk);
  bool findChunk(const RiffChunk& parent, std::uint32_t id, RiffChunk& chunk);

  // Reads up to n bytes at the current position; fewer at the end of the file.
  std::size_t read(void* data, std::size_t n);
  // Moves to the end of the chunk, padded to an even size.
  void ascend(const RiffChunk& chunk);

 private:
  bool find(std::uint64_t end, std::uint32_t id, bool typed, std::uint32_t type, RiffChunk& chunk);
  std::uint64_t endOf(const RiffChunk& parent) const;

  ByteSource& source_;
  std::uint64_t position_ = 0;
};

}  // namespace zepra
