// Frame pacing and repacking: decoded frames are laid on the source's time
// grid, thinned by the frame-rate reduction, converted, compressed under the
// byte budget and appended to the stream as records.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "cinepak/cinepak_compressor.h"
#include "cinepak/frame_encoder.h"
#include "encoder/cinepak_strip.h"
#include "encoder/image_size.h"
#include "encoder/stream_encoder.h"
#include "format/cinepak.h"
#include "platform/job_state.h"

namespace zepra {

namespace {

// Progress in permille of the announced length; repeats beyond it go above
// 1000. An unknown length (0) reports 0 throughout.
int progressPermille(std::uint32_t slot, std::uint32_t sourceFrames) {
  if (sourceFrames == 0) return 0;
  const double permille = std::trunc(static_cast<double>(slot) * 1000.0 / sourceFrames);
  return static_cast<int>(std::min(permille, static_cast<double>(std::numeric_limits<int>::max())));
}

}  // namespace

bool StreamEncoder::addVideoSample(double time, const std::uint8_t* data, std::uint32_t length) {
  if (failed_ || !sessionOpen_) return false;
  const bool hasData = data != nullptr && length != 0;
  // A first frame stamped after slot 0 also fills the slots before it.
  if (!haveVideoFrame_ && hasData && !keepDecodedFrame(data, length)) return false;
  if (std::isfinite(time)) {
    const double scale = sourceRate_.scale;
    const double rate = sourceRate_.rate;
    while (time - scale * framesDelivered_ / rate > 0) {
      if (!encodeFrame(nullptr, 0)) return false;
    }
  }
  return encodeFrame(data, length);
}

bool StreamEncoder::encodeFrame(const std::uint8_t* data, std::uint32_t length) {
  if (failed_ || !sessionOpen_) return false;
  const std::uint32_t slot = ++framesDelivered_;

  const int permille = progressPermille(slot, sourceFrameCount_);
  if (permille != lastProgressSent.load()) {
    sendProgress(permille);
    lastProgressSent = permille;
  }

  const bool kept = isSlotKept(selection_, slot);
  if (data != nullptr && length != 0) {
    if (length < converter_.sourceFrameBytes()) {
      return fail("A decoded video frame is shorter than its format.");
    }
    // A kept frame is converted straight from the decoder's buffer, and a
    // repeat of it copies the converted frame; only a dropped frame is kept
    // whole, for the gaps that may repeat it.
    if (kept) {
      haveVideoFrame_ = true;
      return convertAndCompress(data);
    }
    return keepDecodedFrame(data, length);
  }
  if (!kept) return true;
  if (!haveVideoFrame_) return fail("The video has no frame to show at its start.");
  return repeatLastFrame();
}

// The buffer only ever grows, so a job allocates it once.
bool StreamEncoder::keepDecodedFrame(const std::uint8_t* data, std::uint32_t length) {
  if (length < converter_.sourceFrameBytes()) {
    return fail("A decoded video frame is shorter than its format.");
  }
  const std::size_t bytes = converter_.sourceFrameBytes();
  if (bytes > lastVideoFrame_.size()) lastVideoFrame_.resize(bytes);
  std::memcpy(lastVideoFrame_.data(), data, bytes);
  haveVideoFrame_ = true;
  lastConverted_ = nullptr;
  return true;
}

bool StreamEncoder::convertAndCompress(const std::uint8_t* decoded) {
  std::uint8_t* frame = pipeline_.acquire();
  converter_.convert(decoded, frame);
  return handOver(frame);
}

bool StreamEncoder::repeatLastFrame() {
  if (lastConverted_ == nullptr) return convertAndCompress(lastVideoFrame_.data());
  std::uint8_t* frame = pipeline_.acquire();
  // A free buffer keeps its bytes: the last converted frame's may come back.
  if (frame != lastConverted_) std::memcpy(frame, lastConverted_, converter_.frameBytes());
  return handOver(frame);
}

bool StreamEncoder::handOver(std::uint8_t* frame) {
  lastConverted_ = frame;
  pipeline_.submit(frame);
  return !failed_;
}

bool StreamEncoder::compressKeptFrame(const std::uint8_t* frame) {
  compressParams_.lFrameNum = static_cast<std::int32_t>(framesEncoded_);
  compressParams_.lpInput = frame;
  const std::uint32_t n = framesEncoded_ + 1;
  if (budgetPlan_) budgetPlan_->follow(n, bytesEncoded_);

  compressParams_.dwFrameSize = budgetPlan_ ? static_cast<std::uint32_t>(std::min<std::uint64_t>(
                                                  budgetPlan_->budgetFor(n, bytesEncoded_), UINT32_MAX))
                                            : bitrateBudget(options_.bitrate, outputRate_, n, bytesEncoded_);
  // Under a plan a key frame waits for a budget that holds the smallest intra
  // frame, so it never overshoots what the plan allows: a target size stays a
  // promise. At a bitrate the running total takes an overshoot back.
  const bool keyFrameFits = !budgetPlan_ || compressParams_.dwFrameSize >= FrameEncoder::minFrameSize(
                                                                              options_.outputWidth,
                                                                              options_.outputHeight, true);
  compressParams_.dwFlags = keyFrameDue() && keyFrameFits ? kCompressKeyFrame : 0;

  if (compressor_->compress(compressParams_) != kIcErrOk) {
    return fail("The Cinepak compressor failed on frame " + std::to_string(n) + ".");
  }
  const BitmapInfoHeader& outputFormat = compressorOutputFormat_.front();
  bytesEncoded_ += outputFormat.biSizeImage;
  std::memcpy(previousFrame_.data(), frame, previousFrame_.size());

  const auto strip = findSingleStrip(compressedFrame_, options_.outputWidth, options_.outputHeight);
  if (!strip) {
    return fail("The Cinepak compressor gave frame " + std::to_string(n) +
                " a shape the stream cannot hold.");
  }
  // A record is written whole or not at all, so the records always match the count.
  const std::uint64_t recordStart = stream_.position();
  if (!stream_.writeWord(strip->recordWord()) || !stream_.write(strip->data)) {
    stream_.truncate(recordStart);
    streamWriteFailed_ = true;
    return fail("The stream file could not be written.");
  }
  framesEncoded_ = n;
  sinceKeyFrame_ = strip->type == kIntraStrip ? 1 : sinceKeyFrame_ + 1;
  if (maxImageBytes_ != 0 &&
      imageBytesNeeded(playerBytes_, stream_.position(), n, playbackStep_) > maxImageBytes_) {
    imageTooBig_ = true;
    return fail("The image would be larger than " + std::to_string(maxImageBytes_) + " bytes.");
  }
  return true;
}

// Counted from the intra-coded frames written, so a frame the compressor
// codes intra of its own accord also restarts the interval.
bool StreamEncoder::keyFrameDue() const {
  return keyFrameEvery_ != 0 && sinceKeyFrame_ >= keyFrameEvery_;
}

bool StreamEncoder::fail(std::string detail) {
  failed_ = true;
  setLastErrorText(std::move(detail));
  return false;
}

}  // namespace zepra
