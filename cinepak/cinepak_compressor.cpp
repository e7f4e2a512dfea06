#include "cinepak/cinepak_compressor.h"

#include <algorithm>
#include <bit>

#include "cinepak/frame_budget.h"
#include "format/screen.h"

namespace zepra {

namespace {

constexpr std::uint8_t kStateMagic[4] = {'Z', 'C', 'P', '1'};
constexpr int kMaxIterations = 16;

BitmapInfoHeader outputFormatFor(const BitmapInfoHeader& input) {
  BitmapInfoHeader output;
  output.biWidth = input.biWidth;
  output.biHeight = input.biHeight;
  output.biBitCount = 24;
  output.biCompression = kFourccCvid;
  output.biSizeImage = static_cast<std::uint32_t>(FrameEncoder::maxFrameSize(input.biWidth, input.biHeight));
  return output;
}

bool validState(std::span<const std::uint8_t> state) {
  return state.size() == kStateSize && std::equal(std::begin(kStateMagic), std::end(kStateMagic), state.begin()) &&
         state[4] >= 1 && state[4] <= kMaxIterations && state[5] >= 1 && state[5] <= kMaxIterations;
}

float statePrice(std::span<const std::uint8_t> state) {
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= static_cast<std::uint32_t>(state[8 + i]) << (8 * i);
  return std::bit_cast<float>(bits);
}

void writeStatePrice(std::span<std::uint8_t> state, float price) {
  const auto bits = std::bit_cast<std::uint32_t>(price);
  for (int i = 0; i < 4; ++i) state[8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

}  // namespace

bool passFramesAtFloor(std::span<std::uint8_t> state, std::uint32_t frames) {
  if (!validState(state)) return false;
  PriceMemory memory;
  memory.recall(statePrice(state));
  memory.passFramesAtFloor(frames, lambdaForQuality(kDefaultQuality));
  writeStatePrice(state, memory.remembered());
  return true;
}

bool CinepakCompressor::acceptsInput(const BitmapInfoHeader& input) {
  // Bottom-up rows only (positive height); whole 4 x 4 blocks; the console's screen at most.
  return input.biBitCount == 24 && input.biCompression == kBiRgb && input.biPlanes == 1 && input.biWidth > 0 &&
         input.biHeight > 0 && input.biWidth % 4 == 0 && input.biHeight % 4 == 0 &&
         input.biWidth <= kScreenWidth && input.biHeight <= kScreenHeight;
}

CinepakCompressor::CinepakCompressor(const BitmapInfoHeader& input) : input_(input) {}

bool CinepakCompressor::sameInput(const BitmapInfoHeader& input) const {
  return acceptsInput(input) && input.biWidth == input_.biWidth && input.biHeight == input_.biHeight;
}

std::uint32_t CinepakCompressor::outputFormatSize(const BitmapInfoHeader& input) {
  return sameInput(input) ? sizeof(BitmapInfoHeader) : 0;
}

std::int32_t CinepakCompressor::getOutputFormat(const BitmapInfoHeader& input, BitmapInfoHeader& output) {
  if (!sameInput(input)) return kIcErrBadFormat;
  output = outputFormatFor(input);
  return kIcErrOk;
}

std::uint32_t CinepakCompressor::maxFrameSize(const BitmapInfoHeader& input, const BitmapInfoHeader& /*output*/) {
  return sameInput(input) ? static_cast<std::uint32_t>(FrameEncoder::maxFrameSize(input.biWidth, input.biHeight)) : 0;
}

std::uint32_t CinepakCompressor::defaultQuality() { return kDefaultQuality; }

std::int32_t CinepakCompressor::framesInfo(const CompressFramesInfo& info) {
  if (info.lpbiInput != nullptr && !sameInput(*info.lpbiInput)) return kIcErrBadFormat;
  if (info.lDataRate < 0) return kIcErrBadParam;
  dataRate_ = info.lDataRate;
  rate_ = info.dwRate;
  scale_ = info.dwScale;
  return kIcErrOk;
}

std::uint32_t CinepakCompressor::getState(std::span<std::uint8_t> buffer) {
  if (buffer.empty()) return kStateSize;
  if (buffer.size() < kStateSize) return 0;
  std::copy(std::begin(kStateMagic), std::end(kStateMagic), buffer.begin());
  buffer[4] = static_cast<std::uint8_t>(effort_.intraIterations);
  buffer[5] = static_cast<std::uint8_t>(effort_.interIterations);
  buffer[6] = buffer[7] = 0;
  writeStatePrice(buffer, prices_.remembered());
  return kStateSize;
}

std::int32_t CinepakCompressor::setState(std::span<const std::uint8_t> state) {
  if (!validState(state)) return kIcErrBadParam;
  effort_.intraIterations = state[4];
  effort_.interIterations = state[5];
  prices_.recall(statePrice(state));
  pricesGiven_ = true;
  return kIcErrOk;
}

std::int32_t CinepakCompressor::begin(const BitmapInfoHeader& input, const BitmapInfoHeader& output) {
  if (!sameInput(input) || output.biCompression != kFourccCvid || output.biWidth != input.biWidth ||
      output.biHeight != input.biHeight)
    return kIcErrBadFormat;
  source_.resize(input.biWidth, input.biHeight);
  encoder_.begin(input.biWidth, input.biHeight, effort_);
  if (!pricesGiven_) prices_.reset();
  pricesGiven_ = false;
  nextFrame_ = 0;
  begun_ = true;
  return kIcErrOk;
}

std::size_t CinepakCompressor::frameShare() const {
  if (dataRate_ <= 0 || rate_ == 0 || scale_ == 0) return kMaxFrameLength;
  return static_cast<std::size_t>(static_cast<std::uint64_t>(dataRate_) * scale_ / rate_);
}

std::int32_t CinepakCompressor::compress(CompressParams& params) {
  if (!begun_) return kIcErrUnsupported;
  if (params.lpInput == nullptr || params.lpOutput == nullptr || params.lpbiOutput == nullptr)
    return kIcErrBadParam;
  if (params.lpbiInput != nullptr && !sameInput(*params.lpbiInput)) return kIcErrBadFormat;
  const bool intra = codedIntra(params, nextFrame_);
  const std::size_t budget = params.dwFrameSize > 0 ? params.dwFrameSize : frameShare();
  const std::uint32_t quality = params.dwQuality <= kMaxQuality ? params.dwQuality : kDefaultQuality;
  source_.load(params.lpInput, encoder_.loop());
  const std::size_t length =
      encoder_.encode(source_, intra, budget, prices_.floor(lambdaForQuality(quality)), params.lpOutput);
  prices_.learn(encoder_.price(), intra, budget < frameShare());
  params.lpbiOutput->biSizeImage = static_cast<std::uint32_t>(length);
  if (params.lpdwFlags != nullptr) *params.lpdwFlags = intra ? kAviKeyFrame : 0;
  nextFrame_ = params.lFrameNum + 1;
  return kIcErrOk;
}

std::int32_t CinepakCompressor::end() {
  begun_ = false;
  return kIcErrOk;
}

std::unique_ptr<VideoCompressor> locateCinepakCompressor(const BitmapInfoHeader& input) {
  if (!CinepakCompressor::acceptsInput(input)) return nullptr;
  return std::make_unique<CinepakCompressor>(input);
}

}  // namespace zepra
