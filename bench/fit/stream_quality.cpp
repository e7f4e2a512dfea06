#include "bench/fit/stream_quality.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "cinepak/reference_decoder.h"
#include "format/cinepak.h"
#include "format/stream_layout.h"
#include "platform/cancel_source.h"
#include "platform/job_state.h"

namespace zepra::bench {

namespace {

namespace fs = std::filesystem;

// A compressed frame is this much longer than its record.
constexpr std::size_t kFrameOverRecord =
    ZEPRA_CINEPAK_FRAME_HEADER_BYTES + ZEPRA_CINEPAK_STRIP_HEADER_BYTES - ZEPRA_RECORD_PREFIX_BYTES;

int expand(int v) { return (v << 3) | (v >> 2); }
std::uint32_t word(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24; }
double psnr(double mse) { return 10.0 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9)); }

double squaredError(std::span<const std::uint16_t> picture, const Frame& source) {
  double squared = 0;
  for (std::size_t i = 0; i < picture.size(); ++i) {
    const int shown[3] = {expand(picture[i] & 31), expand(picture[i] >> 5 & 31), expand(picture[i] >> 10 & 31)};
    for (int c = 0; c < 3; ++c) {
      const double d = shown[c] - source[i * 3 + c];
      squared += d * d;
    }
  }
  return squared;
}

}  // namespace

bool makeSceneClip(const fs::path& clip, std::span<const std::string> scenes, int seconds) {
  std::string inputs, chain;
  for (std::size_t i = 0; i < scenes.size(); ++i) {
    inputs += " -f lavfi -i " + scenes[i] + ",trim=duration=" + std::to_string(seconds);
    chain += "[" + std::to_string(i) + ":v]";
  }
  const std::size_t tone = scenes.size();
  const std::string command =
      "ffmpeg -nostdin -loglevel error -y" + inputs + " -f lavfi -i sine=frequency=440:sample_rate=44100:duration=" +
      std::to_string(tone * seconds) + " -filter_complex \"" + chain + "concat=n=" + std::to_string(tone) +
      ":v=1:a=0,format=bgr0[v]\" -map \"[v]\" -map " + std::to_string(tone) +
      ":a -c:v ffv1 -c:a pcm_s16le '" + clip.string() + "'";
  return std::system(command.c_str()) == 0;
}

std::vector<Frame> keptFrames(const fs::path& clip, int width, int height) {
  const std::string command =
      "ffmpeg -nostdin -loglevel error -i '" + clip.string() + "' -f rawvideo -pix_fmt rgb24 pipe:";
  std::vector<Frame> frames;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return frames;
  Frame f(static_cast<std::size_t>(width) * height * 3);
  for (int n = 0; std::fread(f.data(), 1, f.size(), pipe) == f.size(); ++n)
    if (n % 2 == 0) frames.push_back(f);
  pclose(pipe);
  return frames;
}

ConversionJob benchJob(const fs::path& clip, int bitrate) {
  ConversionJob job;
  job.inputPath = clip.string();
  job.bitrate = bitrate;
  job.frameRateIndex = FrameRateChoice::kKeep1of2;
  job.preFilter = kNoFilter;
  job.gammaEnabled = false;
  return job;
}

bool convert(const ConversionJob& job, const SizeControl& size, Conversion& out) {
  CancelSource cancel;
  resetJobState();
  const auto start = std::chrono::steady_clock::now();
  const std::clock_t processorStart = std::clock();
  const int result = convertToStream(job, cancel, createDecodingGraph, size, out.stream);
  out.processorSeconds = static_cast<double>(std::clock() - processorStart) / CLOCKS_PER_SEC;
  out.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result != kJobOk) {
    std::fprintf(stderr, "result %d: %s\n", result, lastErrorText().c_str());
    return false;
  }
  return true;
}

bool measureStream(std::span<const std::uint8_t> stream, const std::vector<Frame>& source, StreamQuality& q) {
  if (stream.size() < ZEPRA_STREAM_HEADER_BYTES) return false;
  const std::uint32_t frames = word(&stream[0]);
  const int width = word(&stream[8]) & 0xFFFF, height = word(&stream[8]) >> 16;
  std::size_t at = ZEPRA_STREAM_HEADER_BYTES;
  ReferenceDecoder decoder(width, height);
  std::vector<double> errors;
  double total = 0;
  std::uint32_t run = 0;
  q = {};
  for (std::uint32_t n = 0; n < frames; ++n) {
    if (at + ZEPRA_RECORD_PREFIX_BYTES > stream.size()) return false;
    const std::uint32_t record = word(&stream[at]);
    const std::size_t length = record & 0xFFFF;
    const auto type = static_cast<std::uint16_t>(record >> 16);
    if (length < ZEPRA_RECORD_PREFIX_BYTES || at + length > stream.size()) return false;
    q.largestRecord = std::max(q.largestRecord, length);
    q.frameBytes += length + kFrameOverRecord;
    run = type == kIntraStrip ? 1 : run + 1;
    q.longestRun = std::max(q.longestRun, run);
    if (!decoder.decodeStrip(type, stream.subspan(at + ZEPRA_RECORD_PREFIX_BYTES, length - ZEPRA_RECORD_PREFIX_BYTES)))
      return false;
    at += length;
    if (n >= source.size()) continue;
    const double mse = squaredError(decoder.picture(), source[n]) / (3.0 * decoder.picture().size());
    errors.push_back(mse);
    total += mse;
  }
  if (errors.empty()) return false;
  q.globalPsnr = psnr(total / errors.size());
  std::sort(errors.begin(), errors.end(), std::greater<>());
  const std::size_t worst = std::max<std::size_t>(1, errors.size() / 20);
  double worstTotal = 0;
  for (std::size_t i = 0; i < worst; ++i) worstTotal += psnr(errors[i]);
  q.worstPsnr = worstTotal / worst;
  return true;
}

}  // namespace zepra::bench
