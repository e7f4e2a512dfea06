#include "tests/encoder/stream_walker.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace zepra::test {

namespace {

// Removes the files a test was given paths for once it has ended, so that
// runs leave nothing behind in the temporary folder.
class TemporaryFileRemover final : public ::testing::EmptyTestEventListener {
 public:
  void add(const std::string& path) { paths_.push_back(path); }
  void OnTestEnd(const ::testing::TestInfo&) override {
    for (const std::string& path : paths_) ::unlink(path.c_str());
    paths_.clear();
  }

 private:
  std::vector<std::string> paths_;
};

TemporaryFileRemover& temporaryFileRemover() {
  // The listener list owns it from the first call on.
  static TemporaryFileRemover* remover = [] {
    auto* made = new TemporaryFileRemover;
    ::testing::UnitTest::GetInstance()->listeners().Append(made);
    return made;
  }();
  return *remover;
}

}  // namespace

std::uint32_t littleEndian32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

WalkedStream walkStream(const std::string& path) {
  WalkedStream s;
  s.bytes = readFileBytes(path);
  const std::vector<std::uint8_t>& b = s.bytes;
  if (b.size() < 12) return s;
  s.frameCount = littleEndian32(&b[0]);
  s.playbackStep = littleEndian32(&b[4]);
  s.width = static_cast<std::uint16_t>(littleEndian32(&b[8]));
  s.height = static_cast<std::uint16_t>(littleEndian32(&b[8]) >> 16);
  std::size_t at = 12;
  for (std::uint32_t k = 0; k < s.frameCount; ++k) {
    if (at + 4 > b.size()) return s;
    const std::uint32_t word = littleEndian32(&b[at]);
    StreamRecord record;
    record.length = static_cast<std::uint16_t>(word);
    record.stripType = static_cast<std::uint16_t>(word >> 16);
    if (record.length < 4 || at + record.length > b.size()) return s;
    record.stripData.assign(b.begin() + at + 4, b.begin() + at + record.length);
    s.records.push_back(std::move(record));
    at += s.records.back().length;
  }
  if (at == b.size()) {
    s.complete = true;
    return s;
  }
  if (at + 4 > b.size()) return s;
  s.hasTrailer = true;
  s.blockCount = littleEndian32(&b[at]);
  s.blocks.assign(b.begin() + at + 4, b.end());
  s.complete = s.blocks.size() == std::size_t{s.blockCount} * 176;
  return s;
}

std::string temporaryPath(const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string path = ::testing::TempDir() + "zepra_" + std::to_string(::getpid()) + "_" +
                     (info ? std::string(info->test_suite_name()) + "_" + info->name() : "") + "_" +
                     name;
  for (char& c : path) {
    if (c == '/' && &c >= path.data() + ::testing::TempDir().size()) c = '_';
  }
  ::unlink(path.c_str());
  temporaryFileRemover().add(path);
  return path;
}

}  // namespace zepra::test
