#pragma once
// The compressor interface the stream encoder drives, one call per step of a
// compression session: locate, output format, largest frame, default quality,
// frames info, state, begin, one compress per kept frame, end; destruction
// closes it. Results are kIcErrOk (0) or a negative kIcErr code.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "cinepak/bitmap_info.h"

namespace zepra {

inline constexpr std::int32_t kIcErrOk = 0;
inline constexpr std::int32_t kIcErrUnsupported = -1;
inline constexpr std::int32_t kIcErrBadFormat = -2;
inline constexpr std::int32_t kIcErrMemory = -3;
inline constexpr std::int32_t kIcErrInternal = -4;
inline constexpr std::int32_t kIcErrBadParam = -6;
inline constexpr std::int32_t kIcErrBadSize = -7;

// What the session will compress (the classic ICCOMPRESSFRAMES block).
struct CompressFramesInfo {
  const BitmapInfoHeader* lpbiOutput = nullptr;
  const BitmapInfoHeader* lpbiInput = nullptr;
  std::int32_t lFrameCount = 0;
  std::int32_t lQuality = 0;
  std::int32_t lDataRate = 0;  // bytes per second
  std::uint32_t dwRate = 0;    // frames per second = dwRate / dwScale
  std::uint32_t dwScale = 0;
};

// One compression call (the classic ICCOMPRESS block).
struct CompressParams {
  std::uint32_t dwFlags = 0;
  BitmapInfoHeader* lpbiOutput = nullptr;  // receives the frame's length in biSizeImage
  std::uint8_t* lpOutput = nullptr;        // receives the compressed frame
  const BitmapInfoHeader* lpbiInput = nullptr;
  const std::uint8_t* lpInput = nullptr;  // 24-bit bottom-up BGR frame
  std::uint32_t* lpckid = nullptr;
  std::uint32_t* lpdwFlags = nullptr;
  std::int32_t lFrameNum = 0;
  std::uint32_t dwFrameSize = 0;  // byte size target of this frame
  std::uint32_t dwQuality = 0;
  const BitmapInfoHeader* lpbiPrev = nullptr;
  const std::uint8_t* lpPrev = nullptr;  // the previous frame's input, the reference
};

class VideoCompressor {
 public:
  virtual ~VideoCompressor() = default;
  // Size in bytes of the output format block.
  virtual std::uint32_t outputFormatSize(const BitmapInfoHeader& input) = 0;
  virtual std::int32_t getOutputFormat(const BitmapInfoHeader& input, BitmapInfoHeader& output) = 0;
  // Largest compressed frame in bytes.
  virtual std::uint32_t maxFrameSize(const BitmapInfoHeader& input, const BitmapInfoHeader& output) = 0;
  virtual std::uint32_t defaultQuality() = 0;
  virtual std::int32_t framesInfo(const CompressFramesInfo& info) = 0;
  // With an empty buffer: the state's size. Otherwise fills it and returns the bytes written.
  virtual std::uint32_t getState(std::span<std::uint8_t> buffer) = 0;
  virtual std::int32_t setState(std::span<const std::uint8_t> state) = 0;
  virtual std::int32_t begin(const BitmapInfoHeader& input, const BitmapInfoHeader& output) = 0;
  virtual std::int32_t compress(CompressParams& params) = 0;
  virtual std::int32_t end() = 0;
};

// Finds a compressor that takes this input, or null when none does.
using CompressorLocator = std::function<std::unique_ptr<VideoCompressor>(const BitmapInfoHeader& input)>;

// Our Cinepak compressor: takes 24-bit BI_RGB bottom-up input whose sides are
// non-zero multiples of 4, and produces single-strip Cinepak frames.
std::unique_ptr<VideoCompressor> locateCinepakCompressor(const BitmapInfoHeader& input);

}  // namespace zepra
