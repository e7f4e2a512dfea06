#pragma once
// Drives the compressor through the calls the stream encoder makes, and
// measures what comes out with our reference decoder.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "cinepak/cinepak_compressor.h"
#include "cinepak/frame_budget.h"
#include "cinepak/reference_decoder.h"
#include "tests/cinepak/test_clips.h"

namespace zepra::test {

inline BitmapInfoHeader inputFormat(int width, int height) {
  BitmapInfoHeader h;
  h.biWidth = width;
  h.biHeight = height;
  h.biSizeImage = static_cast<std::uint32_t>(width * height * 3);
  return h;
}

// One begun session; frames are numbered by the caller.
class CompressorSession {
 public:
  CompressorSession(int width, int height) : input_(inputFormat(width, height)) {
    compressor_ = locateCinepakCompressor(input_);
    EXPECT_NE(compressor_, nullptr);
    if (!compressor_) return;
    EXPECT_EQ(compressor_->outputFormatSize(input_), sizeof(BitmapInfoHeader));
    EXPECT_EQ(compressor_->getOutputFormat(input_, output_), kIcErrOk);
    buffer_.resize(compressor_->maxFrameSize(input_, output_));
    EXPECT_EQ(compressor_->begin(input_, output_), kIcErrOk);
  }
  ~CompressorSession() {
    if (compressor_) {
      EXPECT_EQ(compressor_->end(), kIcErrOk);
    }
  }
  CompressorSession(const CompressorSession&) = delete;
  CompressorSession& operator=(const CompressorSession&) = delete;

  // Tells the byte rate before the first frame, as the stream encoder does:
  // `share` bytes a frame at 15 frames a second.
  void tellByteRate(std::uint32_t share) {
    if (!compressor_) return;
    CompressFramesInfo info;
    info.lpbiOutput = &output_;
    info.lpbiInput = &input_;
    info.lQuality = static_cast<std::int32_t>(kDefaultQuality);
    info.lDataRate = static_cast<std::int32_t>(share * 15);
    info.dwRate = 15;
    info.dwScale = 1;
    EXPECT_EQ(compressor_->framesInfo(info), kIcErrOk);
  }

  // Compresses `frame` as frame `number` with `previous` as its reference;
  // `keyFlag` receives the key-frame flag the compressor reports.
  Frame compress(const Frame& frame, int number, const Frame* previous, std::uint32_t budget,
                 std::uint32_t quality = kDefaultQuality, std::uint32_t* keyFlag = nullptr) {
    if (!compressor_) return {};
    CompressParams p;
    p.lpbiOutput = &output_;
    p.lpOutput = buffer_.data();
    p.lpbiInput = &input_;
    p.lpInput = frame.data();
    p.lFrameNum = number;
    p.dwFrameSize = budget;
    p.dwQuality = quality;
    p.lpbiPrev = &input_;
    p.lpPrev = previous != nullptr ? previous->data() : nullptr;
    p.lpdwFlags = keyFlag;
    EXPECT_EQ(compressor_->compress(p), kIcErrOk);
    EXPECT_LE(output_.biSizeImage, buffer_.size());
    return Frame(buffer_.begin(), buffer_.begin() + output_.biSizeImage);
  }

 private:
  BitmapInfoHeader input_, output_;
  std::unique_ptr<VideoCompressor> compressor_;
  std::vector<std::uint8_t> buffer_;
};

// Compresses a whole clip in order, each frame referring to the one before.
inline std::vector<Frame> compressClip(const std::vector<Frame>& clip, int width, int height, std::uint32_t budget,
                                       std::uint32_t quality = kDefaultQuality) {
  CompressorSession session(width, height);
  std::vector<Frame> frames;
  for (std::size_t n = 0; n < clip.size(); ++n)
    frames.push_back(session.compress(clip[n], static_cast<int>(n), n > 0 ? &clip[n - 1] : nullptr, budget, quality));
  return frames;
}

struct ClipResult {
  double psnr = 0;
  std::size_t bytes = 0;
};

// Decodes with our reference decoder, checking every frame on the way.
inline ClipResult decodeAndMeasure(const std::vector<Frame>& clip, const std::vector<Frame>& frames, int width,
                                   int height) {
  ReferenceDecoder decoder(width, height);
  ClipResult result;
  double squared = 0;
  for (std::size_t n = 0; n < frames.size(); ++n) {
    EXPECT_TRUE(decoder.decodeFrame(frames[n])) << "frame " << n;
    squared += squaredError(decoder.picture().data(), clip[n], width, height);
    result.bytes += frames[n].size();
  }
  result.psnr = psnr(squared, 3.0 * width * height * frames.size());
  return result;
}

}  // namespace zepra::test
