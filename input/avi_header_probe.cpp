#include "input/avi_header_probe.h"

namespace zepra {

namespace {

// The main header ('avih') and the stream header ('strh') both have exactly
// this size; a chunk of any other size is not trusted.
constexpr std::uint32_t kHeaderSize = 56;
constexpr std::size_t kStreamCountOffset = 24;  // avih: dwStreams
constexpr std::size_t kTypeOffset = 0;          // strh: fccType
constexpr std::size_t kScaleOffset = 20;        // strh: dwScale
constexpr std::size_t kRateOffset = 24;         // strh: dwRate
constexpr std::size_t kLengthOffset = 32;       // strh: dwLength

std::uint32_t field(const unsigned char* header, std::size_t offset) {
  const unsigned char* p = header + offset;
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool readHeader(RiffReader& reader, const RiffChunk& parent, std::uint32_t id,
                RiffChunk& chunk, unsigned char (&header)[kHeaderSize]) {
  return reader.findChunk(parent, id, chunk) && chunk.size == kHeaderSize &&
         reader.read(header, kHeaderSize) == kHeaderSize;
}

}  // namespace

bool probeAviHeader(ByteSource& source, AviStreamRate& result) {
  RiffReader reader(source);
  RiffChunk avi, headerList, mainHeader;
  unsigned char header[kHeaderSize];
  if (!reader.findRiff(fourCC("AVI "), avi) || !reader.findList(avi, fourCC("hdrl"), headerList) ||
      !readHeader(reader, headerList, fourCC("avih"), mainHeader, header)) {
    return false;
  }
  // The search for the stream lists goes on from the end of the main header.
  const std::uint32_t streams = field(header, kStreamCountOffset);
  for (std::uint32_t i = 0; i < streams; ++i) {
    RiffChunk streamList, streamHeader;
    if (!reader.findList(headerList, fourCC("strl"), streamList) ||
        !readHeader(reader, streamList, fourCC("strh"), streamHeader, header)) {
      return false;
    }
    if (field(header, kTypeOffset) == fourCC("vids")) {
      result.rate = field(header, kRateOffset);
      result.scale = field(header, kScaleOffset);
      result.length = field(header, kLengthOffset);
      return true;
    }
    reader.ascend(streamHeader);
    reader.ascend(streamList);
  }
  return false;
}

bool probeAviHeader(const std::string& path, AviStreamRate& result) {
  const std::unique_ptr<ByteSource> file = openFileByteSource(path);
  return file && probeAviHeader(*file, result);
}

}  // namespace zepra
