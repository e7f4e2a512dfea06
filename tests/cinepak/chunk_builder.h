#pragma once
// Builds Cinepak chunks and frames by hand for decoder tests.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace zepra::test {

using Bytes = std::vector<std::uint8_t>;

inline void putBig16(Bytes& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

inline void putBig32(Bytes& out, std::uint32_t value) {
  putBig16(out, value >> 16);
  putBig16(out, value & 0xFFFF);
}

// A chunk: type, second type byte, big-endian size including the 4-byte header.
inline Bytes chunk(std::uint8_t type, const Bytes& payload, std::uint8_t secondType = 0) {
  Bytes out{type, secondType};
  putBig16(out, static_cast<unsigned>(payload.size() + 4));
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// Writes flag bits into 32-bit words that are placed in the output where the
// decoder reads them: a new word starts when the previous one is used up.
class FlagWriter {
 public:
  explicit FlagWriter(Bytes& out) : out_(out) {}
  void bit(bool value) {
    if (used_ == 32) {
      wordAt_ = out_.size();
      out_.insert(out_.end(), 4, 0);
      used_ = 0;
    }
    if (value) out_[wordAt_ + used_ / 8] |= static_cast<std::uint8_t>(0x80 >> (used_ % 8));
    ++used_;
  }

 private:
  Bytes& out_;
  std::size_t wordAt_ = 0;
  int used_ = 32;
};

// A whole single-strip frame around the given chunks.
inline Bytes frame(int width, int height, std::uint16_t stripType, const Bytes& chunks) {
  const unsigned stripSize = static_cast<unsigned>(chunks.size() + 12);
  const unsigned frameLength = stripSize + 10;
  Bytes out{static_cast<std::uint8_t>(stripType == 0x1000 ? 0 : 1),
            static_cast<std::uint8_t>(frameLength >> 16)};
  putBig16(out, frameLength & 0xFFFF);
  putBig16(out, width);
  putBig16(out, height);
  putBig16(out, 1);
  putBig16(out, stripType);
  putBig16(out, stripSize);
  putBig16(out, 0);
  putBig16(out, 0);
  putBig16(out, height);
  putBig16(out, width);
  out.insert(out.end(), chunks.begin(), chunks.end());
  return out;
}

}  // namespace zepra::test
