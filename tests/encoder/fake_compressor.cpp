#include "tests/encoder/fake_compressor.h"

#include <algorithm>
#include <cstring>

namespace zepra::test {

namespace {

void putBigEndian16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t v) {
  bytes[at] = static_cast<std::uint8_t>(v >> 8);
  bytes[at + 1] = static_cast<std::uint8_t>(v);
}

class FakeCompressor final : public VideoCompressor {
 public:
  explicit FakeCompressor(std::shared_ptr<FakeCompressorScript> script) : script_(std::move(script)) {}

  std::uint32_t outputFormatSize(const BitmapInfoHeader&) override {
    script_->calls.push_back("outputFormatSize");
    return script_->outputFormatBytes;
  }
  std::int32_t getOutputFormat(const BitmapInfoHeader& input, BitmapInfoHeader& output) override {
    script_->calls.push_back("getOutputFormat");
    output = input;
    output.biCompression = kFourccCvid;
    return kIcErrOk;
  }
  std::uint32_t maxFrameSize(const BitmapInfoHeader& input, const BitmapInfoHeader&) override {
    script_->calls.push_back("maxFrameSize");
    input_ = input;
    return script_->maxFrameBytes;
  }
  std::uint32_t defaultQuality() override {
    script_->calls.push_back("defaultQuality");
    return script_->quality;
  }
  std::int32_t framesInfo(const CompressFramesInfo& info) override {
    script_->calls.push_back("framesInfo");
    script_->framesInfo = info;
    return script_->framesInfoResult;
  }
  std::uint32_t getState(std::span<std::uint8_t> buffer) override {
    script_->calls.push_back(buffer.empty() ? "getStateSize" : "getState");
    if (buffer.empty()) return script_->stateBytes;
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(i + 1);
    return static_cast<std::uint32_t>(buffer.size());
  }
  std::int32_t setState(std::span<const std::uint8_t> state) override {
    script_->calls.push_back("setState");
    script_->stateSet.assign(state.begin(), state.end());
    return kIcErrOk;
  }
  std::int32_t begin(const BitmapInfoHeader&, const BitmapInfoHeader&) override {
    script_->calls.push_back("begin");
    return script_->beginResult;
  }
  std::int32_t compress(CompressParams& params) override {
    script_->calls.push_back("compress");
    const std::size_t bytes = params.lpbiInput->biSizeImage;
    script_->frameNumbers.push_back(params.lFrameNum);
    script_->frameSizes.push_back(params.dwFrameSize);
    script_->frameFlags.push_back(params.dwFlags);
    script_->inputs.emplace_back(params.lpInput, params.lpInput + bytes);
    script_->references.emplace_back(params.lpPrev, params.lpPrev + bytes);
    if (script_->compressResult != kIcErrOk) return script_->compressResult;
    std::vector<std::uint8_t> frame =
        makeCinepakFrame(script_->frameLength, input_.biWidth, input_.biHeight, script_->stripType,
                         static_cast<std::uint8_t>(params.lFrameNum));
    if (script_->reshape) script_->reshape(params.lFrameNum, frame);
    std::memcpy(params.lpOutput, frame.data(), std::min<std::size_t>(frame.size(), script_->maxFrameBytes));
    params.lpbiOutput->biSizeImage = static_cast<std::uint32_t>(frame.size());
    return kIcErrOk;
  }
  std::int32_t end() override {
    script_->calls.push_back("end");
    return script_->endResult;
  }

 private:
  std::shared_ptr<FakeCompressorScript> script_;
  BitmapInfoHeader input_;
};

}  // namespace

std::vector<std::uint8_t> makeCinepakFrame(std::uint32_t length, int width, int height,
                                           std::uint16_t stripType, std::uint8_t seed) {
  std::vector<std::uint8_t> frame(std::max<std::uint32_t>(length, 22), 0);
  frame[1] = static_cast<std::uint8_t>(length >> 16);
  frame[2] = static_cast<std::uint8_t>(length >> 8);
  frame[3] = static_cast<std::uint8_t>(length);
  putBigEndian16(frame, 4, static_cast<std::uint32_t>(width));
  putBigEndian16(frame, 6, static_cast<std::uint32_t>(height));
  putBigEndian16(frame, 8, 1);
  putBigEndian16(frame, 10, stripType);
  putBigEndian16(frame, 12, (length - 10) & 0xFFFF);
  putBigEndian16(frame, 18, static_cast<std::uint32_t>(height));
  putBigEndian16(frame, 20, static_cast<std::uint32_t>(width));
  for (std::size_t i = 22; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(seed + i);
  return frame;
}

CompressorLocator fakeCompressorLocator(std::shared_ptr<FakeCompressorScript> script) {
  return [script](const BitmapInfoHeader&) -> std::unique_ptr<VideoCompressor> {
    script->calls.push_back("locate");
    if (!script->found) return nullptr;
    return std::make_unique<FakeCompressor>(script);
  };
}

}  // namespace zepra::test
