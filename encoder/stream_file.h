#pragma once
// The stream file while it is written: created (replacing any file of that
// name), written in whole little-endian words and byte runs, rewound to patch
// the header, cut back to drop an incomplete record, closed. Every write
// reports whether all its bytes reached the file.

#include <cstdint>
#include <span>
#include <string>

namespace zepra {

class StreamFile {
 public:
  StreamFile() = default;
  ~StreamFile();
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;

  bool create(const std::string& path);
  bool isOpen() const { return fd_ >= 0; }
  // Bytes from the start of the file to the write position.
  std::uint64_t position() const { return position_; }

  bool write(std::span<const std::uint8_t> bytes);
  // Four bytes, least significant first, whatever the host's byte order.
  bool writeWord(std::uint32_t word);
  bool seek(std::uint64_t offset);
  // Drops everything from offset on and continues writing there.
  bool truncate(std::uint64_t offset);
  // False when the file could not be closed cleanly.
  bool close();

 private:
  int fd_ = -1;
  std::uint64_t position_ = 0;
};

}  // namespace zepra
