#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "platform/job_state.h"
#include "tests/audio/audio_test_support.h"

namespace zepra {
namespace {

using test::pcm16;
using test::pcmFormat;

// A track holding exactly `samples` (fed at the output rate, so unchanged).
std::unique_ptr<AudioTrack> trackWith(const std::vector<std::int16_t>& samples) {
  auto track = std::make_unique<AudioTrack>();
  EXPECT_TRUE(track->acceptAudioFormat(pcmFormat(kAudioSampleRate, 1, 16)));
  track->reset();
  if (!samples.empty()) {
    const auto bytes = pcm16(samples);
    track->addAudioBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  }
  EXPECT_EQ(track->samples(), samples);
  return track;
}

TEST(EncodeAudio, CoversTheLongerOfSoundAndVideoPlusOneBlock) {
  struct Case {
    const char* name;
    std::size_t samples;
    std::uint32_t framesEncoded, playbackStep, blocks;
  };
  const Case cases[] = {
      {"no sound, no video", 0, 0, 65536, 1},
      {"no sound, 600 frames", 0, 600, 65536, 601},
      {"5 s of sound and 600 frames", 105120, 600, 65536, 601},
      {"299 blocks of sound and 299 frames", 299 * 352, 299, 65536, 300},
      {"5 s of sound, no video", 105120, 0, 65536, 300},
      {"one sample", 1, 0, 65536, 2},
      {"exactly one block", 352, 0, 65536, 2},
      {"one sample more", 353, 0, 65536, 3},
      {"odd count filling a block", 351, 0, 65536, 2},
      {"half a frame per refresh", 0, 600, 32768, 1201},
      {"two frames per refresh", 0, 601, 131072, 301},
      {"sound longer than video", 105120, 100, 65536, 300},
      {"no frame rate: the sound alone", 105120, 600, 0, 300},
      {"no frame rate, no sound", 0, 600, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto track = trackWith(std::vector<std::int16_t>(c.samples, 1000));
    std::uint32_t blocks = 0;
    const auto bytes = track->encodeAudio(c.framesEncoded, c.playbackStep, blocks);
    EXPECT_EQ(blocks, c.blocks);
    EXPECT_EQ(bytes.size(), std::size_t{c.blocks} * kAudioBlockBytes);
  }
}

TEST(EncodeAudio, SilenceAndMissingSoundEncodeAsByte08) {
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{1000}}) {
    SCOPED_TRACE(n);
    auto track = trackWith(std::vector<std::int16_t>(n, 0));
    std::uint32_t blocks = 0;
    const auto bytes = track->encodeAudio(600, 65536, blocks);
    EXPECT_EQ(blocks, 601u);
    EXPECT_EQ(bytes, std::vector<std::uint8_t>(601 * kAudioBlockBytes, 0x08));
  }
}

TEST(EncodeAndPlay, OddCountEndsWithAnEncodedZeroThenSilence) {
  const std::vector<std::int16_t> samples{20000, -15000, 9000};
  auto track = trackWith(samples);
  std::uint32_t blocks = 0;
  const auto bytes = track->encodeAudio(0, 65536, blocks);

  AdpcmCoder coder;  // the same state sequence, replayed sample by sample
  const int c0 = coder.encodeAdpcmSample(samples[0]);
  const int c1 = coder.encodeAdpcmSample(samples[1]);
  EXPECT_EQ(bytes[0], c0 | c1 << 4);
  const int c2 = coder.encodeAdpcmSample(samples[2]);
  EXPECT_EQ(bytes[1], c2 | coder.encodeAdpcmSample(0) << 4);
  for (std::size_t j = 2; j < bytes.size(); ++j) {
    const int low = coder.encodeAdpcmSample(0);
    ASSERT_EQ(bytes[j], low | coder.encodeAdpcmSample(0) << 4) << j;
  }
}

TEST(EncodeAndPlay, FiveSecondsOfSoundWithSixHundredFramesPlayBackFaithfully) {
  // 5 s of a chord, played for 600 refreshes: 300 blocks of sound, then
  // silence up to 601 blocks.
  std::vector<std::int16_t> samples(105120);
  for (std::size_t n = 0; n < samples.size(); ++n) {
    const double t = static_cast<double>(n) / kAudioSampleRate;
    samples[n] = static_cast<std::int16_t>(
        9000 * std::sin(2 * std::numbers::pi * 220 * t) +
        5000 * std::sin(2 * std::numbers::pi * 554 * t) +
        2000 * std::sin(2 * std::numbers::pi * 1320 * t));
  }
  auto track = trackWith(samples);
  track->normalizeAudio(100);
  const std::vector<std::int16_t> normalised = track->samples();
  const auto [low, high] = std::minmax_element(normalised.begin(), normalised.end());
  EXPECT_GE(std::max(-*low, +*high), 32766);  // the loudest now reaches full scale
  std::uint32_t blocks = 0;
  const auto bytes = track->encodeAudio(600, 65536, blocks);
  ASSERT_EQ(blocks, 601u);
  const auto played = test::playOnConsole(bytes);

  double signal = 0, noise = 0;
  for (std::size_t n = 0; n < normalised.size(); ++n) {
    const double reference = normalised[n] / 256.0;  // the 8-bit sample
    signal += reference * reference;
    noise += (played[n] - reference) * (played[n] - reference);
  }
  const double snr = 10 * std::log10(signal / noise);
  EXPECT_GT(snr, 30.0) << snr;  // about 33 dB for this chord
  // After the sound the player plays silence: the predictor settles at once.
  for (std::size_t n = normalised.size() + 352; n < played.size(); ++n) {
    ASSERT_TRUE(played[n] == -1 || played[n] == 0) << n << " " << int{played[n]};
  }
}

TEST(NormalizeAudio, ScalesToFullScaleOnlyWhenThereIsRoom) {
  struct Case {
    const char* name;
    int percent;
    std::vector<std::int16_t> in, out;
  };
  const Case cases[] = {
      {"already at positive full scale", 100, {32767, -5, 100}, {32767, -5, 100}},
      {"already at negative full scale", 100, {-32768, 5, 0}, {-32768, 5, 0}},
      {"silence", 100, {0, 0, 0}, {0, 0, 0}},
      {"nothing", 100, {}, {}},
      {"peak -16384 doubles exactly", 100, {-16384, 8192, -3, 0}, {-32768, 16384, -6, 0}},
      {"half of full scale", 50, {32767, -32768, 101, -101}, {16383, -16384, 50, -50}},
      {"positive peak limits the gain", 100, {1000, -999, 1}, {32767, -32734, 32}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto track = trackWith(c.in);
    track->normalizeAudio(c.percent);
    EXPECT_EQ(track->samples(), c.out);
  }
}

TEST(NormalizeAudio, PeakOfHalfScaleIsAboutDoubled) {
  auto track = trackWith({16384, -16384, 1000, -1});
  track->normalizeAudio(100);
  const std::vector<double> expected{32767, -32767, 2000, -2};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(track->samples()[i], expected[i], 1.0) << i;
  }
}

class RecordingWindow : public NotifyWindow {
 public:
  void postDone(int) override {}
  void sendProgress(int) override {}
  void sendStatus(const std::string& text) override { texts.push_back(text); }
  std::vector<std::string> texts;
};

TEST(EncodeAudio, TellsTheFrontEndWhatItIsDoing) {
  for (std::size_t n : {std::size_t{0}, std::size_t{5000}}) {
    SCOPED_TRACE(n);
    RecordingWindow window;
    notifyWindow = &window;
    auto track = trackWith(std::vector<std::int16_t>(n, 300));
    track->normalizeAudio(100);
    std::uint32_t blocks = 0;
    track->encodeAudio(10, 65536, blocks);
    notifyWindow = nullptr;
    EXPECT_EQ(window.texts,
              (std::vector<std::string>{"Closing file...     ...", "Finalizing....."}));
  }
}

}  // namespace
}  // namespace zepra
