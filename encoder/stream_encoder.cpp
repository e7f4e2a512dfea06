// The encoder session: naming, options, opening the stream with its
// compression session, and closing it with the audio trailer.

#include "encoder/stream_encoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/job_state.h"

namespace zepra {

std::uint32_t keyFrameInterval(double seconds, FrameRate rate) {
  if (seconds <= 0 || rate.scale == 0) return 0;
  const double frames = std::floor(seconds * rate.rate / rate.scale);
  return static_cast<std::uint32_t>(std::clamp(frames, 1.0, double{UINT32_MAX}));
}

StreamEncoder::StreamEncoder(CompressorLocator locate) : locate_(std::move(locate)) {}

// Members release the file, the compressor and every buffer.
StreamEncoder::~StreamEncoder() = default;

bool StreamEncoder::setOutputName(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  streamPath_ = path;
  return true;
}

bool StreamEncoder::setOptions(const int trim[4], bool autoTrim, int width, int height,
                               int frameRateMode, int preFilter, int bitrate, float gamma) {
  auto validSide = [](int side, int largest) {
    return side == -1 || (side >= 1 && side <= largest && side % 4 == 0);
  };
  if (!validSide(width, kScreenWidth)) return false;
  if (!validSide(height, kScreenHeight)) return false;
  if (frameRateMode < -1 || frameRateMode > kLastFrameRateMode) return false;
  if (preFilter < kNoFilter || preFilter > k4xDithering) return false;
  if (bitrate < 1) return false;
  const double wideGamma = gamma;
  if (!(wideGamma >= kMinBrightnessGamma && wideGamma <= kMaxBrightnessGamma)) return false;
  // A negative trim would put the window outside the decoded frame.
  if (trim == nullptr || std::any_of(trim, trim + 4, [](int t) { return t < 0; })) return false;

  options_.trim = {trim[0], trim[1], trim[2], trim[3]};
  options_.outputHeight = height;
  options_.frameRateMode = frameRateMode;
  options_.autoTrim = autoTrim;
  options_.preFilter = preFilter;
  options_.bitrate = bitrate;
  options_.outputWidth = width;
  options_.gamma = gamma;
  return true;
}

void StreamEncoder::setImageLimit(std::uint64_t playerBytes, std::uint64_t maxImageBytes) {
  playerBytes_ = playerBytes;
  maxImageBytes_ = maxImageBytes;
}

bool StreamEncoder::acceptAudioFormat(const WaveFormatEx& format) {
  return audio_.acceptAudioFormat(format);
}

void StreamEncoder::addAudioBuffer(const std::uint8_t* data, std::uint32_t length) {
  audio_.addAudioBuffer(data, length);
}

bool StreamEncoder::openStream(std::uint32_t frameCount) {
  pipeline_.finish();
  sourceFrameCount_ = frameCount;
  framesDelivered_ = 0;
  bytesEncoded_ = 0;
  framesEncoded_ = 0;
  sinceKeyFrame_ = 0;
  failed_ = false;
  streamWriteFailed_ = false;
  imageTooBig_ = false;
  sessionOpen_ = false;
  // Without an accepted format there is no frame size or rate to write.
  if (streamPath_.empty() || !videoAccepted_) return false;
  if (!stream_.create(streamPath_)) return false;
  const std::uint32_t size = static_cast<std::uint32_t>(options_.outputWidth) |
                             static_cast<std::uint32_t>(options_.outputHeight) << 16;
  if (!stream_.writeWord(0) || !stream_.writeWord(playbackStep_) || !stream_.writeWord(size)) {
    return false;
  }
  audio_.reset(static_cast<double>(frameCount) * sourceRate_.scale / sourceRate_.rate);
  keyFrameEvery_ = keyFrameInterval(keyFrameSeconds_, outputRate_);

  sessionOpen_ = beginCompression(frameCount);
  if (sessionOpen_) {
    // A stream starts with no frame to repeat.
    haveVideoFrame_ = false;
    lastConverted_ = nullptr;
    pipeline_.start(converter_.frameBytes(), overlap_, [this](const std::uint8_t* frame) {
      if (!failed_) compressKeptFrame(frame);
    });
  }
  return sessionOpen_;
}

// The compressor's calls, in the order a compression session needs them.
bool StreamEncoder::beginCompression(std::uint32_t sourceFrames) {
  compressor_ = locate_ ? locate_(compressorInputFormat_) : nullptr;
  if (!compressor_) return false;

  const std::uint32_t formatBytes = compressor_->outputFormatSize(compressorInputFormat_);
  const std::size_t formatBlocks =
      std::max<std::size_t>(1, (formatBytes + sizeof(BitmapInfoHeader) - 1) / sizeof(BitmapInfoHeader));
  compressorOutputFormat_.assign(formatBlocks, BitmapInfoHeader{});
  BitmapInfoHeader& outputFormat = compressorOutputFormat_.front();
  if (compressor_->getOutputFormat(compressorInputFormat_, outputFormat) != kIcErrOk) return false;

  compressedFrame_.assign(compressor_->maxFrameSize(compressorInputFormat_, outputFormat), 0);
  const std::uint32_t quality = compressor_->defaultQuality();

  compressParams_ = CompressParams{};
  compressParams_.lpbiOutput = &outputFormat;
  compressParams_.lpOutput = compressedFrame_.data();
  compressParams_.lpbiInput = &compressorInputFormat_;
  compressParams_.dwQuality = quality;
  compressParams_.lpbiPrev = &compressorInputFormat_;
  compressParams_.lpPrev = previousFrame_.data();

  CompressFramesInfo info;
  info.lpbiOutput = &outputFormat;
  info.lpbiInput = &compressorInputFormat_;
  info.lFrameCount = static_cast<std::int32_t>(reducedFrameCount(selection_, sourceFrames));
  info.lQuality = static_cast<std::int32_t>(quality);
  // Bytes per second; held at the largest the field takes.
  info.lDataRate = static_cast<std::int32_t>(std::min<std::int64_t>(
      static_cast<std::int64_t>(options_.bitrate) << 10, std::numeric_limits<std::int32_t>::max()));
  info.dwRate = outputRate_.rate;
  info.dwScale = outputRate_.scale;
  if (compressor_->framesInfo(info) != kIcErrOk) return false;

  const std::vector<std::uint8_t> state = startState_.empty() ? compressorState() : startState_;
  if (!state.empty()) compressor_->setState(state);
  return compressor_->begin(compressorInputFormat_, outputFormat) == kIcErrOk;
}

std::vector<std::uint8_t> StreamEncoder::compressorState() const {
  if (!compressor_) return {};
  std::vector<std::uint8_t> state(compressor_->getState({}));
  if (state.empty()) return state;
  state.resize(std::min<std::size_t>(compressor_->getState(state), state.size()));
  return state;
}

bool StreamEncoder::closeStream() {
  // Every frame handed over is compressed before the session ends.
  pipeline_.finish();
  if (sessionOpen_ && !failed_ && framesEncoded_ == 0 && haveVideoFrame_ && !jobCancelled.load()) {
    repeatLastFrame();  // a failure is kept in failed_
  }
  bool result = true;
  if (compressor_ && compressor_->end() != kIcErrOk) result = false;
  const bool frameFailed = failed_;
  sessionOpen_ = false;
  if (!stream_.isOpen()) return result;

  // A stream too big for an image is of no use, and its trailer is what
  // would have made it too big: it is left without one.
  if (framesEncoded_ != 0 && !jobCancelled.load() && !imageTooBig_) {
    if (!writeTrailer()) result = false;
    if (!stream_.seek(0) || !stream_.writeWord(framesEncoded_)) result = false;
  }
  if (!stream_.close()) result = false;
  return result && !frameFailed;
}

bool StreamEncoder::writeTrailer() {
  audio_.normalizeAudio(100);
  std::uint32_t blockCount = 0;
  const std::vector<std::uint8_t> blocks =
      audio_.encodeAudio(framesEncoded_, playbackStep_, blockCount);
  return stream_.writeWord(blockCount) && stream_.write(blocks);
}

}  // namespace zepra
