#include "job/image_size_range.h"

#include <algorithm>

#include "format/adpcm_tables.h"
#include "audio/audio_track.h"
#include "cinepak/frame_budget.h"
#include "cinepak/frame_encoder.h"
#include "encoder/image_size.h"
#include "format/stream_layout.h"
#include "job/rom_builder.h"
#include "job/settings_model.h"

namespace zepra {

namespace {

// A compressed frame is this much longer than its record.
constexpr std::uint64_t kFrameOverRecord =
    ZEPRA_CINEPAK_FRAME_HEADER_BYTES + ZEPRA_CINEPAK_STRIP_HEADER_BYTES - ZEPRA_RECORD_PREFIX_BYTES;

// The running total the bitrate allows after n frames, as the pacing has it.
std::uint64_t allowedAfter(int bitrate, FrameRate rate, std::uint64_t n) {
  const unsigned __int128 allowed =
      static_cast<unsigned __int128>(bitrate) * 1024 * rate.scale * n / rate.rate;
  return static_cast<std::uint64_t>(std::min<unsigned __int128>(allowed, UINT64_MAX / 2));
}

std::uint64_t cheapestInterBytes(const StreamShape& shape) {
  return FrameEncoder::minFrameSize(shape.width, shape.height, false);
}

}  // namespace

double streamSeconds(const StreamShape& shape) {
  if (shape.rate.rate == 0) return 0.0;
  return static_cast<double>(shape.frames) * shape.rate.scale / shape.rate.rate;
}

std::uint64_t trailerBytes(const StreamShape& shape) {
  return audioTrailerBytes(audioTrailerBlocks(shape.audioSamples, shape.frames, playbackStep(shape.rate)));
}

std::uint64_t unpaddedImageBytes(std::uint64_t playerBytes, const StreamShape& shape,
                                 std::uint64_t frameBytes) {
  const std::uint64_t overhead = std::uint64_t{shape.frames} * kFrameOverRecord;
  const std::uint64_t records = frameBytes > overhead ? frameBytes - overhead : 0;
  return imageBytesNeeded(playerBytes, ZEPRA_STREAM_HEADER_BYTES + records, shape.frames, playbackStep(shape.rate),
                          shape.audioSamples);
}

std::uint64_t paddedImageBytes(std::uint64_t unpaddedBytes) {
  return (unpaddedBytes + kRomAlignment - 1) / kRomAlignment * kRomAlignment;
}

std::uint64_t largestFrameBytes(const StreamShape& shape, int bitrate, std::uint32_t keyFrameEvery) {
  if (shape.frames == 0 || shape.rate.rate == 0 || bitrate < 1) return 0;
  // Consecutive shares of the running total are this or one more.
  const std::uint64_t share = frameByteTarget(bitrate, shape.rate);
  const std::uint64_t floor = share >> 1;
  const std::uint64_t cheapestInter = cheapestInterBytes(shape);
  const std::uint64_t cheapestIntra = FrameEncoder::minFrameSize(shape.width, shape.height, true);
  // The most frame n can take after `before` bytes: the budget (or the
  // floor), within the longest frame, but never below the cheapest frame.
  auto frameCap = [&](std::uint64_t n, std::uint64_t before) {
    const std::uint64_t allowed = allowedAfter(bitrate, shape.rate, n);
    const std::uint64_t budget = std::max<std::uint64_t>(allowed > before ? allowed - before : 1, floor);
    const bool key = n == 1 || (keyFrameEvery != 0 && (n - 1) % keyFrameEvery == 0);
    return std::max(std::min<std::uint64_t>(budget, kMaxFrameLength), key ? cheapestIntra : cheapestInter);
  };
  // Key frames that may pass their budget make every frame count; the key
  // frames come at the latest the interval lets them, so as many as can.
  const bool stepEveryFrame = keyFrameEvery != 0 && share < cheapestIntra;
  // Spending the whole cap is the worst case: a larger total never lowers a
  // later frame's cap by more than it added. Once the total has settled,
  // the rest follows without stepping through every frame.
  const std::uint64_t smallStep = std::max(floor, cheapestInter);
  std::uint64_t total = 0;
  for (std::uint64_t n = 1; n <= shape.frames; ++n) {
    total += frameCap(n, total);
    if (stepEveryFrame) continue;
    const std::uint64_t allowed = allowedAfter(bitrate, shape.rate, n);
    const std::uint64_t rest = shape.frames - n;
    // Shares above the longest frame: every later frame is a longest one.
    if (share >= kMaxFrameLength) return total + rest * kMaxFrameLength;
    // On the running total with every later share affordable: it stays on it.
    if (total == allowed && share >= smallStep) return allowedAfter(bitrate, shape.rate, shape.frames);
    // Shares below the smallest step: the total runs ahead by that step a frame.
    if (total >= allowed && smallStep > share) return total + rest * smallStep;
  }
  return total;
}

std::uint64_t smallestFrameBytes(const StreamShape& shape) {
  if (shape.frames == 0) return 0;
  return FrameEncoder::minFrameSize(shape.width, shape.height, true) +
         std::uint64_t{shape.frames - 1} * FrameEncoder::minFrameSize(shape.width, shape.height, false);
}

std::uint64_t usableImageBytes(std::uint64_t limit) {
  return std::min<std::uint64_t>(limit, kMaxRomSize) / kRomAlignment * kRomAlignment;
}

std::uint64_t frameBytesWithin(std::uint64_t playerBytes, const StreamShape& shape, std::uint64_t imageBytes) {
  const std::uint64_t usable = usableImageBytes(imageBytes);
  const std::uint64_t lowest = unpaddedImageBytes(playerBytes, shape, smallestFrameBytes(shape));
  if (lowest > usable) return 0;
  return smallestFrameBytes(shape) + (usable - lowest);
}

std::uint64_t targetFrameAllowance(std::uint64_t playerBytes, const StreamShape& shape, std::uint64_t targetBytes) {
  return std::min(frameBytesWithin(playerBytes, shape, targetBytes), largestFrameBytes(shape, kBitrateRange.max));
}

int bitrateWithin(const StreamShape& shape, std::uint64_t frameBytes) {
  // The largest frames grow with the bitrate.
  int low = 0, high = kBitrateRange.max;
  while (low < high) {
    const int mid = low + (high - low + 1) / 2;
    if (largestFrameBytes(shape, mid) <= frameBytes) low = mid; else high = mid - 1;
  }
  return low;
}

std::uint32_t longestFittingFrames(std::uint64_t playerBytes, const StreamShape& shape, std::uint64_t imageBytes) {
  StreamShape probe = shape;
  probe.audioSamples = 0;
  auto fits = [&](std::uint32_t frames) {
    probe.frames = frames;
    return unpaddedImageBytes(playerBytes, probe, smallestFrameBytes(probe)) <= imageBytes;
  };
  // Beyond the frames whose trailer alone passes the limit nothing fits (and
  // the refresh count would no longer fit 32 bits).
  const std::uint64_t refreshes = imageBytes / kAudioBlockBytes + 1;
  const std::uint64_t beyond = refreshes * playbackStep(shape.rate) / 65536 + 2;
  std::uint32_t low = 0, high = static_cast<std::uint32_t>(std::min<std::uint64_t>(beyond, UINT32_MAX));
  if (!fits(1)) return 0;
  low = 1;
  while (low < high) {
    const std::uint32_t mid = low + (high - low + 1) / 2;
    if (fits(mid)) low = mid; else high = mid - 1;
  }
  return low;
}

}  // namespace zepra

namespace zepra {

int bitrateForTarget(std::uint64_t playerBytes, const StreamShape& shape, std::uint64_t imageBytes, int highest) {
  const std::uint64_t room = frameBytesWithin(playerBytes, shape, imageBytes);
  // The largest frames grow with the bitrate.
  int low = 0, high = highest;  // low fits (0 stands for none); above high does not
  while (low < high) {
    const int mid = low + (high - low + 1) / 2;
    if (room != 0 && largestFrameBytes(shape, mid) <= room) low = mid; else high = mid - 1;
  }
  return low;
}

}  // namespace zepra
