#include "input/avi_header_probe.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/input/media_fixtures.h"

namespace zepra {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void putCode(Bytes& b, const char* code) { b.insert(b.end(), code, code + 4); }

Bytes chunk(const char* id, const Bytes& data, std::uint32_t statedSize) {
  Bytes b;
  putCode(b, id);
  put32(b, statedSize);
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
  return b;
}
Bytes chunk(const char* id, const Bytes& data) {
  return chunk(id, data, static_cast<std::uint32_t>(data.size()));
}

Bytes list(const char* id, const char* type, const std::vector<Bytes>& children) {
  Bytes data;
  putCode(data, type);
  for (const Bytes& c : children) data.insert(data.end(), c.begin(), c.end());
  return chunk(id, data);
}

Bytes mainHeader(std::uint32_t streams, std::size_t size = 56) {
  Bytes b(size, 0);
  if (size >= 28) std::memcpy(&b[24], &streams, 4);
  return chunk("avih", b);
}

Bytes streamHeader(const char* type, std::uint32_t scale, std::uint32_t rate, std::uint32_t length,
                   std::size_t size = 56) {
  Bytes b(std::max<std::size_t>(size, 36), 0);
  std::memcpy(&b[0], type, 4);
  std::memcpy(&b[20], &scale, 4);
  std::memcpy(&b[24], &rate, 4);
  std::memcpy(&b[32], &length, 4);
  b.resize(size);
  return chunk("strh", b);
}

Bytes streamList(const Bytes& header) { return list("LIST", "strl", {header, chunk("strf", Bytes(40, 7))}); }

Bytes avi(const std::vector<Bytes>& headerChildren) {
  return list("RIFF", "AVI ", {list("LIST", "hdrl", headerChildren), list("LIST", "movi", {})});
}

Bytes twoStreamAvi() {
  return avi({mainHeader(2), streamList(streamHeader("auds", 1, 44100, 88200)),
              chunk("JUNK", Bytes(13, 0)), streamList(streamHeader("vids", 1001, 30000, 300))});
}

void setLe32(Bytes& b, std::size_t at, std::uint32_t v) { std::memcpy(&b[at], &v, 4); }
std::size_t find(const Bytes& b, const char* code, std::size_t from = 0) {
  for (std::size_t i = from; i + 4 <= b.size(); ++i) {
    if (std::memcmp(&b[i], code, 4) == 0) return i;
  }
  return b.size();
}

// Memory that fails the test on any read outside it and counts the reads.
class CheckedSource final : public ByteSource {
 public:
  explicit CheckedSource(const Bytes& bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  std::size_t readAt(std::uint64_t offset, void* data, std::size_t n) override {
    ++reads;
    if (offset > bytes_.size() || n > bytes_.size() - offset) {
      outside = true;
      return 0;
    }
    std::memcpy(data, bytes_.data() + offset, n);
    return n;
  }
  int reads = 0;
  bool outside = false;

 private:
  const Bytes& bytes_;
};

constexpr AviStreamRate kUntouched{7, 8, 9};

struct ProbeCase {
  const char* name;
  Bytes file;
  bool found;
  AviStreamRate expected;
};

TEST(AviHeaderProbe, ReadsTheFirstVideoStreamAndFailsSilentlyOtherwise) {
  const Bytes valid = twoStreamAvi();
  Bytes riffSizeZero = valid;
  setLe32(riffSizeZero, 4, 0);
  Bytes hdrlTooLong = valid;
  setLe32(hdrlTooLong, find(hdrlTooLong, "hdrl") - 4, 0xFFFFFFF0u);
  Bytes strlTooShort = valid;  // the video list claims 4 bytes: its header lies outside it
  setLe32(strlTooShort, find(valid, "strl", find(valid, "strl") + 4) - 4, 4);
  Bytes bigStreamCount = avi({mainHeader(0xFFFFFFFFu), streamList(streamHeader("auds", 1, 8000, 1))});

  const std::vector<ProbeCase> cases = {
      {"video after audio", valid, true, {30000, 1001, 300}},
      {"video only", avi({mainHeader(1), streamList(streamHeader("vids", 1, 25, 50))}), true, {25, 1, 50}},
      {"stream count zero", avi({mainHeader(0), streamList(streamHeader("vids", 1, 25, 50))}), false, {}},
      {"video beyond the stream count",
       avi({mainHeader(1), streamList(streamHeader("auds", 1, 8000, 1)),
            streamList(streamHeader("vids", 1, 25, 50))}),
       false, {}},
      {"no video stream", avi({mainHeader(1), streamList(streamHeader("auds", 1, 8000, 1))}), false, {}},
      {"stream header of 55 bytes", avi({mainHeader(1), streamList(streamHeader("vids", 1, 25, 50, 55))}),
       false, {}},
      {"stream header of 64 bytes", avi({mainHeader(1), streamList(streamHeader("vids", 1, 25, 50, 64))}),
       false, {}},
      {"main header of 60 bytes", avi({mainHeader(1, 60), streamList(streamHeader("vids", 1, 25, 50))}),
       false, {}},
      {"not an AVI form", list("RIFF", "WAVE", {chunk("fmt ", Bytes(16, 0))}), false, {}},
      {"MPEG program stream", Bytes{0x00, 0x00, 0x01, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8}, false, {}},
      {"empty file", Bytes{}, false, {}},
      {"RIFF size of zero", riffSizeZero, false, {}},
      {"header list longer than the file", hdrlTooLong, true, {30000, 1001, 300}},
      {"stream list shorter than its header", strlTooShort, false, {}},
      {"stream count far beyond the lists", bigStreamCount, false, {}},
  };
  for (const ProbeCase& c : cases) {
    SCOPED_TRACE(c.name);
    CheckedSource source(c.file);
    AviStreamRate result = kUntouched;
    EXPECT_EQ(probeAviHeader(source, result), c.found);
    const AviStreamRate expected = c.found ? c.expected : kUntouched;
    EXPECT_EQ(result.rate, expected.rate);
    EXPECT_EQ(result.scale, expected.scale);
    EXPECT_EQ(result.length, expected.length);
    EXPECT_FALSE(source.outside);
  }
}

TEST(AviHeaderProbe, EveryTruncationFailsWithoutReadingOutsideTheFile) {
  const Bytes valid = twoStreamAvi();
  const std::size_t videoHeaderEnd = find(valid, "strh", find(valid, "strh") + 4) + 8 + 56;
  for (std::size_t length = 0; length < valid.size(); ++length) {
    const Bytes cut(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(length));
    CheckedSource source(cut);
    AviStreamRate result = kUntouched;
    // Only the headers count: once the video stream header is whole, the rest may be missing.
    EXPECT_EQ(probeAviHeader(source, result), length >= videoHeaderEnd) << length;
    EXPECT_FALSE(source.outside) << length;
  }
}

TEST(AviHeaderProbe, RandomDamageNeverReadsOutsideOrLoops) {
  const Bytes valid = twoStreamAvi();
  std::mt19937 random(20261207);
  const std::uint32_t interesting[] = {0, 1, 4, 55, 56, 57, 0x7FFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFFFu};
  for (int round = 0; round < 20000; ++round) {
    Bytes file = valid;
    const int damages = 1 + static_cast<int>(random() % 4);
    for (int d = 0; d < damages; ++d) {
      const std::size_t at = random() % (file.size() - 3);
      if (random() % 2) {
        file[at] = static_cast<std::uint8_t>(random());
      } else {
        setLe32(file, at & ~std::size_t{3}, interesting[random() % std::size(interesting)]);
      }
    }
    if (random() % 4 == 0) file.resize(random() % file.size());
    CheckedSource source(file);
    AviStreamRate result;
    probeAviHeader(source, result);
    ASSERT_FALSE(source.outside) << "round " << round;
    // Every search step reads one header and moves at least 8 bytes on.
    ASSERT_LE(source.reads, static_cast<int>(file.size() / 2 + 16)) << "round " << round;
  }
}

TEST(AviHeaderProbe, ReadsFilesByNameAndIgnoresWhatIsNoFile) {
  test::ClipFolder folder;
  const std::string clip = folder.make(
      "clip.avi", "-f lavfi -i testsrc2=size=32x24:rate=25:duration=0.4 -c:v mjpeg");
  ASSERT_FALSE(clip.empty());
  AviStreamRate result;
  ASSERT_TRUE(probeAviHeader(clip, result));
  EXPECT_EQ(result.rate, 25u);
  EXPECT_EQ(result.scale, 1u);
  EXPECT_EQ(result.length, 10u);

  AviStreamRate untouched = kUntouched;
  EXPECT_FALSE(probeAviHeader(folder.path("missing.avi").string(), untouched));
  EXPECT_FALSE(probeAviHeader(folder.path("").string(), untouched));  // a folder
  EXPECT_EQ(untouched.rate, kUntouched.rate);
}

}  // namespace
}  // namespace zepra
