#include "tests/encoder/clip_encoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "video/frame_converter.h"

namespace zepra::test {

std::vector<std::uint8_t> movingSquareFrame(int width, int height, int index) {
  const std::size_t stride = sourceRowBytes(width);
  std::vector<std::uint8_t> frame(stride * height, 0);
  for (int r = 0; r < height; ++r) {
    for (int c = 0; c < width; ++c) {
      std::uint8_t* p = &frame[r * stride + 3 * c];
      const bool square = c >= 10 + 9 * index && c < 70 + 9 * index && r >= 40 && r < 90;
      p[0] = static_cast<std::uint8_t>(square ? 30 : 60 + 120 * r / height);
      p[1] = static_cast<std::uint8_t>(square ? 200 : 40 + 150 * c / width);
      p[2] = static_cast<std::uint8_t>(square ? 250 : 180 - 100 * c / width);
    }
  }
  return frame;
}

std::vector<std::uint8_t> risingTone(std::uint32_t rate, double seconds) {
  std::vector<std::uint8_t> bytes;
  const auto count = static_cast<std::uint32_t>(rate * seconds);
  for (std::uint32_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / rate;
    const auto s = static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * 300 * t) * (0.3 + t));
    bytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
  }
  return bytes;
}

bool encodeClip(StreamEncoder& encoder, const ClipToEncode& clip, const std::string& path) {
  const int trim[4] = {};
  VideoInfoHeader video;
  video.AvgTimePerFrame = 333333;  // 30 frames/s
  video.bmiHeader.biWidth = clip.width;
  video.bmiHeader.biHeight = clip.height;
  WaveFormatEx sound;
  sound.nChannels = 1;
  sound.wBitsPerSample = 16;
  sound.nBlockAlign = 2;
  sound.nSamplesPerSec = clip.soundRate;
  sound.nAvgBytesPerSec = 2 * clip.soundRate;
  const bool opened =
      encoder.setOutputName(path.c_str()) &&
      encoder.setOptions(trim, false, -1, -1, clip.frameRateMode, clip.preFilter, clip.bitrate, clip.gamma) &&
      encoder.acceptVideoFormat(video) && encoder.acceptAudioFormat(sound) &&
      encoder.openStream(static_cast<std::uint32_t>(clip.frames));
  EXPECT_TRUE(opened) << "the encoder refused the clip's settings or formats";
  if (!opened) return false;

  const auto tone = risingTone(clip.soundRate, clip.soundSeconds);
  encoder.addAudioBuffer(tone.data(), static_cast<std::uint32_t>(tone.size()));
  for (int k = 0; k < clip.frames; ++k) {
    const auto frame = movingSquareFrame(clip.width, clip.height, k);
    if (!encoder.addVideoSample(k / 30.0, frame.data(), static_cast<std::uint32_t>(frame.size()))) {
      ADD_FAILURE() << "frame " << k << " was not taken";
      return false;
    }
  }
  const bool closed = encoder.closeStream();
  EXPECT_TRUE(closed);
  return closed;
}

}  // namespace zepra::test
