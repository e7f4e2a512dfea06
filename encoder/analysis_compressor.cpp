#include "encoder/analysis_compressor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cinepak/cinepak_compressor.h"
#include "cinepak/frame_budget.h"
#include "encoder/error_calibration.h"
#include "format/stream_layout.h"

namespace zepra {

namespace {

constexpr std::uint32_t kEmptyFrameBytes = ZEPRA_CINEPAK_FRAME_HEADER_BYTES + ZEPRA_CINEPAK_STRIP_HEADER_BYTES;
// Every kSampleStep-th block across and down.
constexpr int kSampleStep = 3;
// The frames coded whole are coded at the price at which the frames so far
// would take their share of the byte rate, on average over about this many
// frames: near the price the plan will find.
constexpr double kPriceMemory = 16.0;

void putBigEndian16(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 8);
  out[1] = static_cast<std::uint8_t>(value);
}

int sampledBlocks(int blocks) { return (blocks + kSampleStep - 1) / kSampleStep; }

// A 5-bit console channel as the 8-bit value the screen shows.
int shownChannel(int value) { return (value << 3) | (value >> 2); }

}  // namespace

AnalysisCompressor::AnalysisCompressor(const BitmapInfoHeader& input, std::vector<FrameAnalysis>& needs)
    : input_(input), needs_(needs) {}

CompressorLocator AnalysisCompressor::locator(std::vector<FrameAnalysis>& needs) {
  return [&needs](const BitmapInfoHeader& input) -> std::unique_ptr<VideoCompressor> {
    if (input.biBitCount != 24 || input.biWidth <= 0 || input.biHeight <= 0 || input.biWidth % 4 != 0 ||
        input.biHeight % 4 != 0)
      return nullptr;
    return std::make_unique<AnalysisCompressor>(input, needs);
  };
}

bool AnalysisCompressor::sameInput(const BitmapInfoHeader& input) const {
  return input.biWidth == input_.biWidth && input.biHeight == input_.biHeight && input.biBitCount == 24;
}

std::uint32_t AnalysisCompressor::outputFormatSize(const BitmapInfoHeader& input) {
  return sameInput(input) ? sizeof(BitmapInfoHeader) : 0;
}

std::int32_t AnalysisCompressor::getOutputFormat(const BitmapInfoHeader& input, BitmapInfoHeader& output) {
  if (!sameInput(input)) return kIcErrBadFormat;
  output = input;
  output.biCompression = kFourccCvid;
  output.biSizeImage = kEmptyFrameBytes;
  return kIcErrOk;
}

std::uint32_t AnalysisCompressor::maxFrameSize(const BitmapInfoHeader& input, const BitmapInfoHeader&) {
  return sameInput(input) ? kEmptyFrameBytes : 0;
}

std::int32_t AnalysisCompressor::begin(const BitmapInfoHeader& input, const BitmapInfoHeader&) {
  if (!sameInput(input)) return kIcErrBadFormat;
  const int across = input.biWidth / 4, down = input.biHeight / 4;
  mosaicWidth_ = sampledBlocks(across) * 4;
  mosaicHeight_ = sampledBlocks(down) * 4;
  blockRatio_ = static_cast<double>(across * down) / (sampledBlocks(across) * sampledBlocks(down));
  mosaic_.assign(static_cast<std::size_t>(mosaicWidth_) * mosaicHeight_ * 3, 0);
  mosaicFrame_.assign(FrameEncoder::maxFrameSize(mosaicWidth_, mosaicHeight_), 0);
  source_.resize(mosaicWidth_, mosaicHeight_);
  EncoderEffort effort;
  effort.codebookEntries = std::clamp(static_cast<int>(kCodebookSize / blockRatio_), 1, kCodebookSize);
  for (auto& encoder : encoders_) {
    // One thread each: the decoding graph and the conversion keep the other busy.
    if (!encoder) encoder = std::make_unique<FrameEncoder>(1);
    encoder->begin(mosaicWidth_, mosaicHeight_, effort);
  }
  whole_.begin(input.biWidth, input.biHeight, EncoderEffort{});
  wholeSource_.resize(input.biWidth, input.biHeight);
  wholeFrame_.assign(FrameEncoder::maxFrameSize(input.biWidth, input.biHeight), 0);
  wholeNext_ = false;
  sinceWhole_ = 0;
  price_ = -1.0;
  nextFrame_ = 0;
  return kIcErrOk;
}

// Rows are bottom-up in both pictures; mosaic block (i, j), counted from the
// top left, is the frame's block (3i, 3j).
void AnalysisCompressor::sample(const std::uint8_t* frame) {
  const std::size_t stride = static_cast<std::size_t>(input_.biWidth) * 3;
  const std::size_t mosaicStride = static_cast<std::size_t>(mosaicWidth_) * 3;
  for (int y = 0; y < mosaicHeight_; ++y) {
    const int sourceY = (y / 4) * 4 * kSampleStep + y % 4;
    const std::uint8_t* from = frame + (input_.biHeight - 1 - sourceY) * stride;
    std::uint8_t* to = mosaic_.data() + (mosaicHeight_ - 1 - y) * mosaicStride;
    for (int x = 0; x < mosaicWidth_; x += 4) std::memcpy(to + x * 3, from + x * 3 * kSampleStep, 12);
  }
}

namespace {

// Mean squared error per pixel and channel of what a player shows against a
// bottom-up BGR picture of its size, in 8-bit RGB.
double shownError(const FrameEncoder& encoder, const std::uint8_t* picture, int width, int height) {
  const auto shown = encoder.player().picture();
  double squared = 0.0;
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* bgr = picture + static_cast<std::size_t>(height - 1 - y) * width * 3;
    const std::uint16_t* row = shown.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x, bgr += 3) {
      const double red = shownChannel(row[x] & 31) - bgr[2];
      const double green = shownChannel(row[x] >> 5 & 31) - bgr[1];
      const double blue = shownChannel(row[x] >> 10 & 31) - bgr[0];
      squared += red * red + green * green + blue * blue;
    }
  }
  return squared / (3.0 * width * height);
}

}  // namespace

double AnalysisCompressor::shownError(const FrameEncoder& encoder) const {
  return zepra::shownError(encoder, mosaic_.data(), mosaicWidth_, mosaicHeight_);
}

std::int32_t AnalysisCompressor::framesInfo(const CompressFramesInfo& info) {
  share_ = info.lDataRate > 0 && info.dwRate != 0
               ? static_cast<std::size_t>(static_cast<std::uint64_t>(info.lDataRate) * info.dwScale / info.dwRate)
               : 0;
  return kIcErrOk;
}

void AnalysisCompressor::codeWhole(const std::uint8_t* frame, bool intra, FrameAnalysis* analysis) {
  wholeSource_.load(frame);
  // Within the measured prices, steps of equal ratio.
  const double price = std::clamp(price_, 0.0, kNeedPrices.size() - 1.0);
  const double lambda =
      lambdaForQuality(kDefaultQuality) * kNeedPrices[0] * std::pow(kNeedPrices[1] / kNeedPrices[0], price);
  const std::size_t length = whole_.encode(wholeSource_, intra, wholeFrame_.size(), static_cast<float>(lambda),
                                           wholeFrame_.data());
  if (analysis == nullptr) return;
  analysis->trueBytes = static_cast<double>(length);
  analysis->trueError = zepra::shownError(whole_, frame, input_.biWidth, input_.biHeight);
}

std::int32_t AnalysisCompressor::compress(CompressParams& params) {
  if (params.lpInput == nullptr || params.lpOutput == nullptr || params.lpbiOutput == nullptr)
    return kIcErrBadParam;
  const bool intra = codedIntra(params, nextFrame_);
  sample(params.lpInput);
  source_.load(mosaic_.data());
  // The mosaic's chunks, blocks and entries alike, stand for blockRatio_
  // times their bytes.
  FrameAnalysis analysis;
  analysis.intra = intra;
  for (std::size_t k = 0; k < encoders_.size(); ++k) {
    const std::size_t length = encoders_[k]->encode(source_, intra, mosaicFrame_.size(),
                                                    lambdaForQuality(kDefaultQuality) * kNeedPrices[k],
                                                    mosaicFrame_.data());
    analysis.bytes[k] = kEmptyFrameBytes + static_cast<double>(length - kEmptyFrameBytes) * blockRatio_;
    analysis.error[k] = shownError(*encoders_[k]);
  }
  if (share_ > 0) {
    const double price = MeasuredCurve(analysis.bytes, false).priceFor(static_cast<double>(share_));
    price_ = price_ < 0.0 ? price : price_ + (price - price_) / kPriceMemory;
  }
  // A frame measured whole follows one coded whole just before it.
  const bool first = nextFrame_ == 0 || needs_.empty();
  ++sinceWhole_;
  if (wholeNext_) {
    codeWhole(params.lpInput, intra, &analysis);
    wholeNext_ = false;
    sinceWhole_ = 0;
  } else if (first || sinceWhole_ + 1 >= static_cast<std::int32_t>(kCalibrationEvery) ||
             (sinceWhole_ >= static_cast<std::int32_t>(kCalibrationGap) && newScene(needs_.back(), analysis))) {
    codeWhole(params.lpInput, intra, nullptr);
    wholeNext_ = true;
  }
  needs_.push_back(analysis);
  nextFrame_ = params.lFrameNum + 1;

  // Frame header: flags, 24-bit length, size, one strip; then the strip header.
  std::uint8_t* out = params.lpOutput;
  std::fill(out, out + kEmptyFrameBytes, std::uint8_t{0});
  putBigEndian16(out + 2, kEmptyFrameBytes);
  putBigEndian16(out + 4, static_cast<std::uint32_t>(input_.biWidth));
  putBigEndian16(out + 6, static_cast<std::uint32_t>(input_.biHeight));
  putBigEndian16(out + 8, 1);
  putBigEndian16(out + 10, intra ? kIntraStrip : kInterStrip);
  putBigEndian16(out + 12, ZEPRA_CINEPAK_STRIP_HEADER_BYTES);
  putBigEndian16(out + 18, static_cast<std::uint32_t>(input_.biHeight));
  putBigEndian16(out + 20, static_cast<std::uint32_t>(input_.biWidth));
  params.lpbiOutput->biSizeImage = kEmptyFrameBytes;
  if (params.lpdwFlags != nullptr) *params.lpdwFlags = intra ? kAviKeyFrame : 0;
  return kIcErrOk;
}

}  // namespace zepra
