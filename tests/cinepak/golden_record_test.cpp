// The compressor's exact output for fixed synthetic clips, kept in
// golden_record.txt beside this file: total size, SHA-256 of the frames one
// after the other, and PSNR through our reference decoder. Any change of the
// compressor's bytes for these clips fails here, so it shows in review.
// With ZEPRA_REGENERATE_GOLDEN_RECORD=1 in the environment the test writes
// the file instead (regenerate_golden_record.sh does that).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/hash.h>
}

#include "tests/cinepak/compress_session.h"

namespace zepra {
namespace {

using test::Clip;
using test::Frame;

struct GoldenCase {
  Clip clip;
  int width, height, frames;
  std::uint32_t budget, quality;
};

// The clips and settings the compressor tests use.
const GoldenCase kCases[] = {
    {Clip::kGradient, 240, 160, 8, 3000, kDefaultQuality},
    {Clip::kNoise, 240, 160, 8, 3000, kDefaultQuality},
    {Clip::kShapes, 240, 160, 8, 3000, kDefaultQuality},
    {Clip::kGrey, 240, 160, 8, 3000, kDefaultQuality},
    {Clip::kStatic, 240, 160, 6, 8000, kDefaultQuality},
    {Clip::kShapes, 240, 160, 5, 100, kDefaultQuality},
    {Clip::kShapes, 240, 160, 5, 40000, kDefaultQuality},
    {Clip::kNoise, 240, 160, 2, 0xFFFFFFFFu, kMaxQuality},
    {Clip::kGradient, 96, 64, 6, 2500, kDefaultQuality},
    {Clip::kShapes, 96, 64, 6, 2500, kDefaultQuality},
    {Clip::kGrey, 96, 64, 6, 2500, kDefaultQuality},
    {Clip::kStatic, 96, 64, 6, 2500, kDefaultQuality},
};

std::string sha256(const std::vector<Frame>& frames) {
  AVHashContext* context = nullptr;
  if (av_hash_alloc(&context, "SHA256") < 0) return "no-sha256";
  av_hash_init(context);
  for (const Frame& f : frames) av_hash_update(context, f.data(), f.size());
  char hex[2 * AV_HASH_MAX_SIZE + 1];
  av_hash_final_hex(context, reinterpret_cast<std::uint8_t*>(hex), sizeof hex);
  av_hash_freep(&context);
  return hex;
}

std::string recordLine(const GoldenCase& c) {
  const auto clip = test::makeClip(c.clip, c.width, c.height, c.frames);
  const auto frames = test::compressClip(clip, c.width, c.height, c.budget, c.quality);
  const test::ClipResult measured = test::decodeAndMeasure(clip, frames, c.width, c.height);
  char line[256];
  std::snprintf(line, sizeof line, "%s %dx%d %d %u %u %zu %.3f %s", test::clipName(c.clip), c.width, c.height,
                c.frames, c.budget, c.quality, measured.bytes, measured.psnr, sha256(frames).c_str());
  return line;
}

constexpr const char* kHeader =
    "# The compressor's output for fixed synthetic clips, one line per clip:\n"
    "# clip size frames budget quality total-bytes psnr-dB sha256-of-frames\n"
    "# A change of the compressor's bytes for any of these clips fails\n"
    "# CinepakGoldenRecord.MatchesTheRecordedOutput. When the change is meant,\n"
    "# regenerate with tests/cinepak/regenerate_golden_record.sh [build-dir],\n"
    "# review the sizes and PSNRs, and give the reason in the commit message.\n";

std::vector<std::string> recordedLines(std::istream& in) {
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}

TEST(CinepakGoldenRecord, MatchesTheRecordedOutput) {
  std::vector<std::string> computed;
  for (const GoldenCase& c : kCases) computed.push_back(recordLine(c));
  const char* regenerate = std::getenv("ZEPRA_REGENERATE_GOLDEN_RECORD");
  if (regenerate != nullptr && std::string(regenerate) == "1") {
    std::ofstream out(ZEPRA_GOLDEN_RECORD, std::ios::trunc);
    out << kHeader;
    for (const std::string& line : computed) out << line << '\n';
    out.close();
    ASSERT_TRUE(out) << "could not write " << ZEPRA_GOLDEN_RECORD;
    std::printf("wrote %s\n", ZEPRA_GOLDEN_RECORD);
    return;
  }
  std::ifstream in(ZEPRA_GOLDEN_RECORD);
  ASSERT_TRUE(in) << "cannot read " << ZEPRA_GOLDEN_RECORD;
  const std::vector<std::string> recorded = recordedLines(in);
  EXPECT_EQ(recorded.size(), computed.size()) << "the record lists other clips than the test";
  for (std::size_t i = 0; i < computed.size(); ++i)
    EXPECT_EQ(i < recorded.size() ? recorded[i] : std::string(), computed[i])
        << "the compressor's output changed; if that is meant, regenerate the record";
}

}  // namespace
}  // namespace zepra
