#include <gtest/gtest.h>

#include <initializer_list>

#include "tests/audio/audio_test_support.h"

namespace zepra {
namespace {

using test::convert;
using test::pcm16;
using test::pcmFormat;

struct ReaderCase {
  const char* name;
  AudioTrack::SampleReader reader;
  std::vector<std::uint8_t> frame;
  std::int16_t channel0, channel1, mixed;
};

TEST(SampleReaders, GiveExactValuesAtTheExtremes) {
  const ReaderCase cases[] = {
      {"8 mono 0", AudioTrack::readPcm8Mono, {0}, -32768, -32768, -32768},
      {"8 mono 128", AudioTrack::readPcm8Mono, {128}, 0, 0, 0},
      {"8 mono 255", AudioTrack::readPcm8Mono, {255}, 32512, 32512, 32512},
      {"8 stereo 127,128", AudioTrack::readPcm8Stereo, {127, 128}, -256, 0, 0},
      {"8 stereo 0,255", AudioTrack::readPcm8Stereo, {0, 255}, -32768, 32512, 0},
      {"8 stereo 255,255", AudioTrack::readPcm8Stereo, {255, 255}, 32512, 32512, 32512},
      {"8 stereo 0,0", AudioTrack::readPcm8Stereo, {0, 0}, -32768, -32768, -32768},
      {"8 stereo 0,1", AudioTrack::readPcm8Stereo, {0, 1}, -32768, -32512, -32512},
      {"16 mono min", AudioTrack::readPcm16Mono, pcm16({-32768}), -32768, -32768, -32768},
      {"16 mono max", AudioTrack::readPcm16Mono, pcm16({32767}), 32767, 32767, 32767},
      {"16 stereo -3,0", AudioTrack::readPcm16Stereo, pcm16({-3, 0}), -3, 0, -1},
      {"16 stereo 3,0", AudioTrack::readPcm16Stereo, pcm16({3, 0}), 3, 0, 1},
      {"16 stereo max,max", AudioTrack::readPcm16Stereo, pcm16({32767, 32767}), 32767, 32767,
       32767},
      {"16 stereo min,min", AudioTrack::readPcm16Stereo, pcm16({-32768, -32768}), -32768,
       -32768, -32768},
      {"16 stereo max,min", AudioTrack::readPcm16Stereo, pcm16({32767, -32768}), 32767, -32768,
       0},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    // The frame under test is the second of the buffer, after a frame of other values.
    std::vector<std::uint8_t> buffer(c.frame.size(), 0x5A);
    buffer.insert(buffer.end(), c.frame.begin(), c.frame.end());
    EXPECT_EQ(c.reader(buffer.data(), 1, 0), c.channel0);
    EXPECT_EQ(c.reader(buffer.data(), 1, 1), c.channel1);
    EXPECT_EQ(c.reader(buffer.data(), 1, 2), c.mixed);
    EXPECT_EQ(c.reader(buffer.data(), 1, 7), c.mixed);
  }
}

struct FormatCase {
  const char* name;
  WaveFormatEx format;
  bool accepted;
};

WaveFormatEx with(WaveFormatEx format, std::uint16_t tag, std::uint16_t blockAlign) {
  format.wFormatTag = tag;
  format.nBlockAlign = blockAlign;
  return format;
}

TEST(AcceptAudioFormat, TakesOnlyPcmLayoutsItCanConvertSafely) {
  const FormatCase cases[] = {
      {"16-bit stereo", pcmFormat(44100, 2, 16), true},
      {"16-bit mono", pcmFormat(48000, 1, 16), true},
      {"8-bit stereo", pcmFormat(22050, 2, 8), true},
      {"8-bit mono", pcmFormat(8000, 1, 8), true},
      {"highest rate", pcmFormat(AudioTrack::kMaxInputSampleRate, 2, 16), true},
      {"floating point tag", with(pcmFormat(44100, 2, 32), 3, 8), false},
      {"tag 2", with(pcmFormat(44100, 2, 16), 2, 4), false},
      {"24 bits", pcmFormat(44100, 2, 24), false},
      {"six channels", pcmFormat(44100, 6, 16), false},
      {"rate 0", pcmFormat(0, 2, 16), false},
      {"rate beyond the phase arithmetic", pcmFormat(AudioTrack::kMaxInputSampleRate + 1, 2, 16),
       false},
      {"block align 0", with(pcmFormat(44100, 2, 16), 1, 0), false},
      {"block align smaller than a frame", with(pcmFormat(44100, 2, 16), 1, 2), false},
      {"block align larger than a frame", with(pcmFormat(44100, 1, 8), 1, 4), false},
  };
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    AudioTrack track;
    EXPECT_EQ(track.acceptAudioFormat(c.format), c.accepted);
    // A refused format never lets a buffer through.
    const std::vector<std::uint8_t> buffer(4096, 0x40);
    track.addAudioBuffer(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    EXPECT_EQ(track.samples().empty(), !c.accepted);
  }
}

TEST(AcceptAudioFormat, StoresRateAndFrameSizeEvenWhenRefusing) {
  AudioTrack track;
  ASSERT_TRUE(track.acceptAudioFormat(pcmFormat(21024, 1, 16)));
  // Refused for its tag; its rate (twice the output rate) is still taken, and
  // the 16-bit mono reader stays, so four frames give two averaged samples.
  EXPECT_FALSE(track.acceptAudioFormat(with(pcmFormat(42048, 1, 16), 3, 2)));
  const auto bytes = pcm16({100, 200, 300, 500});
  track.addAudioBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  EXPECT_EQ(track.samples(), (std::vector<std::int16_t>{150, 400}));

  // A refused rate of 0 is stored too; buffers are then ignored instead of
  // dividing by it.
  EXPECT_FALSE(track.acceptAudioFormat(pcmFormat(0, 1, 16)));
  track.addAudioBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  EXPECT_EQ(track.samples().size(), 2u);
}

TEST(AudioIntake, KeepsTheOutputRateUnchangedAndMixesChannels) {
  const std::vector<std::int16_t> mono{0, 1, -1, 32767, -32768, 12345, -54, 7};
  EXPECT_EQ(convert(pcmFormat(21024, 1, 16), pcm16(mono), {3}), mono);

  // 8-bit stereo is mixed by the mean of the centred channels, scaled by 256.
  const std::vector<std::uint8_t> stereo8{127, 128, 0, 255, 255, 255, 0, 0, 200, 100};
  EXPECT_EQ(convert(pcmFormat(21024, 2, 8), stereo8, {2}),
            (std::vector<std::int16_t>{0, 0, 32512, -32768, 5632}));
}

TEST(AudioIntake, IgnoresAPartialFrameAndStartsAfreshOnReset) {
  AudioTrack track;
  ASSERT_TRUE(track.acceptAudioFormat(pcmFormat(21024, 2, 16)));
  const auto bytes = pcm16({10, 20, 30, 40});
  track.addAudioBuffer(bytes.data(), 3);  // less than one frame
  EXPECT_TRUE(track.samples().empty());
  track.addAudioBuffer(bytes.data(), 8);
  EXPECT_EQ(track.samples(), (std::vector<std::int16_t>{15, 35}));
  track.reset();
  EXPECT_TRUE(track.samples().empty());
  track.addAudioBuffer(bytes.data(), 4);
  EXPECT_EQ(track.samples(), (std::vector<std::int16_t>{15}));
}

// The sound of an announced length lands in storage reserved at the start:
// no copy of the growing sound, and not twice the room it needs.
TEST(AudioIntake, ReservesTheAnnouncedLengthOnce) {
  AudioTrack track;
  ASSERT_TRUE(track.acceptAudioFormat(pcmFormat(44100, 2, 16)));
  track.reset(60.0);
  const std::vector<std::uint8_t> second = pcm16(std::vector<std::int16_t>(2 * 44100, 1000));
  track.addAudioBuffer(second.data(), static_cast<std::uint32_t>(second.size()));
  const std::int16_t* storage = track.samples().data();
  for (int s = 1; s < 60; ++s) track.addAudioBuffer(second.data(), static_cast<std::uint32_t>(second.size()));
  EXPECT_EQ(track.samples().data(), storage);
  EXPECT_NEAR(static_cast<double>(track.samples().size()), 60.0 * kAudioSampleRate, 2.0);
  EXPECT_LT(track.samples().capacity(), track.samples().size() * 5 / 4);
}

}  // namespace
}  // namespace zepra
