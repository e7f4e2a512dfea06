// The stream's byte layout and the single-strip rules for compressed frames.

#include <gtest/gtest.h>

#include "encoder/cinepak_strip.h"
#include "encoder/stream_file.h"
#include "tests/encoder/case_name.h"
#include "tests/encoder/fake_compressor.h"
#include "tests/encoder/stream_walker.h"

namespace zepra {
namespace {

using test::makeCinepakFrame;

TEST(StreamFileTest, WordsAreLittleEndianAndTruncationDropsATail) {
  const std::string path = test::temporaryPath("words.bin");
  StreamFile file;
  ASSERT_TRUE(file.create(path));
  EXPECT_TRUE(file.writeWord(0x0000012C));
  EXPECT_TRUE(file.writeWord(0x00008095));
  EXPECT_TRUE(file.writeWord(240 | 160 << 16));
  EXPECT_EQ(file.position(), 12u);
  EXPECT_TRUE(file.writeWord(0xDEADBEEF));
  EXPECT_TRUE(file.truncate(12));
  EXPECT_TRUE(file.seek(0));
  EXPECT_TRUE(file.writeWord(0x0000012D));
  EXPECT_TRUE(file.close());
  EXPECT_EQ(test::readFileBytes(path),
            (std::vector<std::uint8_t>{0x2D, 0x01, 0, 0, 0x95, 0x80, 0, 0, 0xF0, 0, 0xA0, 0}));
}

TEST(StreamFileTest, WritesFailWithoutAFile) {
  StreamFile file;
  EXPECT_FALSE(file.create("/nonexistent-folder/stream.bin"));
  EXPECT_FALSE(file.writeWord(1));
  EXPECT_TRUE(file.close());
}

TEST(CinepakStripTest, RecordCarriesTheStripWithoutItsHeaders) {
  // A strip of size 0x0FF4: record length 0x0FEC, 0x0FE8 bytes of data.
  const auto frame = makeCinepakFrame(0x0FF4 + 10, 240, 160, 0x1100, 7);
  const auto strip = findSingleStrip(frame, 240, 160);
  ASSERT_TRUE(strip);
  EXPECT_EQ(strip->type, 0x1100);
  EXPECT_EQ(strip->data.size(), 0x0FE8u);
  EXPECT_EQ(strip->data.data(), frame.data() + 22);
  EXPECT_EQ(strip->recordWord(), 0x11000FECu);  // bytes EC 0F 00 11
}

struct StripCase {
  const char* what;
  std::uint32_t length;
  std::size_t at;  // byte to overwrite, or 0 for none
  std::uint8_t value;
  bool accepted;
};

const StripCase kStripCases[] = {
    {"well formed", 64, 0, 0, true},
    {"longest frame, L = 0x10005", 0x10005, 0, 0, true},
    {"L = 0x10006", 0x10006, 0, 0, false},
    {"two strips", 64, 9, 2, false},
    {"no strip", 64, 9, 0, false},
    {"wrong width", 64, 5, 236, false},
    {"wrong height", 64, 7, 156, false},
    {"strip not at row 0", 64, 15, 4, false},
    {"strip not at column 0", 64, 17, 4, false},
    {"strip bottom short", 64, 19, 156, false},
    {"strip right short", 64, 21, 236, false},
    {"strip size not L - 10", 64, 13, 53, false},
    {"strip size below its header (S = 11, L = 21)", 21, 0, 0, false},
    {"smallest strip (S = 12, L = 22)", 22, 0, 0, true},
};

class StripRulesTest : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripRulesTest, EveryRuleHolds) {
  const StripCase& c = GetParam();
  auto frame = makeCinepakFrame(c.length, 240, 160, 0x1000, 1);
  frame[0] = 0x01;
  if (c.at != 0) frame[c.at] = c.value;
  const auto strip = findSingleStrip(frame, 240, 160);
  EXPECT_EQ(strip.has_value(), c.accepted) << c.what;
  if (strip) {
    EXPECT_EQ(strip->data.size() + 22, c.length) << c.what;
  }
}

INSTANTIATE_TEST_SUITE_P(Rules, StripRulesTest, ::testing::ValuesIn(kStripCases), test::ByDescription());

TEST(CinepakStripTest, LengthBeyondTheBufferIsRefused) {
  const auto frame = makeCinepakFrame(100, 240, 160, 0x1000, 1);
  EXPECT_FALSE(findSingleStrip(std::span(frame).first(99), 240, 160));
  EXPECT_FALSE(findSingleStrip(std::span(frame).first(21), 240, 160));
}

}  // namespace
}  // namespace zepra
