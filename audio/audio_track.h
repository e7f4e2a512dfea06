#pragma once
// The sound of one job: decoded PCM buffers in, converted to 21024 Hz mono
// as they arrive, and at the end normalised and encoded into the stream's
// audio trailer. Owned by the StreamEncoder; called from the audio decoding
// thread (intake) and from the worker thread (reset, encoding). The two never
// overlap: the graph is stopped before the stream is closed.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/adpcm_coder.h"
#include "format/adpcm_tables.h"
#include "media/media_formats.h"

namespace zepra {

// The audio trailer's block count: enough blocks for the longer of `samples`
// converted samples and `framesEncoded` stream frames played at playbackStep
// (16.16 stream frames per display refresh; 0: no video length), plus one.
std::uint32_t audioTrailerBlocks(std::size_t samples, std::uint32_t framesEncoded,
                                 std::uint32_t playbackStep);
// The trailer's bytes: its block count word and the blocks.
std::uint64_t audioTrailerBytes(std::uint32_t blocks);

class AudioTrack {
 public:
  // Returns sample `frame` of an interleaved PCM buffer as a signed 16-bit
  // value: channel 0 or 1 picks a channel, 2 or more mixes the two (their
  // mean, truncated toward zero). 8-bit samples are centred on 128 and scaled
  // by 256. Mono readers ignore the channel.
  using SampleReader = std::int16_t (*)(const std::uint8_t* buffer, std::uint32_t frame,
                                        int channel);
  static std::int16_t readPcm8Mono(const std::uint8_t* buffer, std::uint32_t frame, int channel);
  static std::int16_t readPcm8Stereo(const std::uint8_t* buffer, std::uint32_t frame, int channel);
  static std::int16_t readPcm16Mono(const std::uint8_t* buffer, std::uint32_t frame, int channel);
  static std::int16_t readPcm16Stereo(const std::uint8_t* buffer, std::uint32_t frame,
                                      int channel);

  // Input rates above this are refused: the resampler's phase is 32-bit.
  static constexpr std::uint32_t kMaxInputSampleRate = 1u << 20;
  // Longer buffers are converted in pieces of this many frames, which gives
  // the same samples and keeps the phase arithmetic within 32 bits.
  static constexpr std::uint32_t kMaxPieceFrames = 1u << 16;
  // reset() reserves for at most this long a sound: an announced length
  // beyond it is more likely wrong than true.
  static constexpr double kMaxReservedSeconds = 3600.0;

  AudioTrack() = default;
  AudioTrack(const AudioTrack&) = delete;
  AudioTrack& operator=(const AudioTrack&) = delete;

  // Takes the decoded sound's format: 8- or 16-bit PCM, mono or stereo. The
  // rate and frame size are stored even when the format is then refused.
  // False for a format the intake cannot convert; a refused format leaves
  // the reader of an earlier accepted one in place.
  bool acceptAudioFormat(const WaveFormatEx& format);
  // Start of a stream: the resampler and the collected samples start afresh
  // (the collected samples' storage is kept). The storage for the sound of
  // expectedSeconds (the input's announced length, and a little more) is
  // reserved at once, so that a long input's sound is not copied again and
  // again while it grows; sound beyond it still grows as it comes.
  void reset(double expectedSeconds = 0.0);
  // Converts one buffer of interleaved PCM frames and appends the samples.
  // Buffers follow each other back to back; the resampler's position runs on
  // across them, so how the sound is cut into buffers does not change the
  // samples. Ignored while no usable format is accepted.
  void addAudioBuffer(const std::uint8_t* data, std::uint32_t length);

  // Scales the collected samples so the loudest reaches percent of full
  // scale. Reports "Closing file...     ..." first.
  void normalizeAudio(int percent);
  // Encodes the collected sound into blockCount blocks of kAudioBlockBytes:
  // enough for the longer of the sound and framesEncoded frames played at
  // playbackStep (stream frames per display refresh, 16.16), plus one block,
  // padded with encoded silence. Reports "Finalizing....." first.
  std::vector<std::uint8_t> encodeAudio(std::uint32_t framesEncoded, std::uint32_t playbackStep,
                                        std::uint32_t& blockCount);

  // Every converted sample of the job, 21024 Hz mono.
  const std::vector<std::int16_t>& samples() const { return audioSamples; }

 private:
  bool formatUsable() const;
  std::int16_t readSample(std::uint32_t frame, int channel) const;
  // Convert `frames` (at least one) frames of currentAudioBuffer into
  // resampleScratch and return the number of samples written there.
  std::uint32_t downsample(std::uint32_t frames);
  std::uint32_t upsample(std::uint32_t frames);
  void reserveScratch(std::uint32_t samples);
  void appendScratch(std::uint32_t samples);

  // Intake, written by the audio decoding thread.
  SampleReader sampleReader = nullptr;
  std::uint32_t readerFrameBytes = 0;  // bytes per frame that sampleReader reads
  const std::uint8_t* currentAudioBuffer = nullptr;
  std::uint32_t inputSampleRate = 0;
  std::uint32_t inputBlockAlign = 0;
  // Resampler position: one input frame lasts 21024 units, one output
  // sample lasts inputSampleRate units.
  std::int32_t resamplePhase = 0;
  double downsampleSum = 0.0;    // weighted sum of the output under construction
  std::int32_t lastSample = 0;   // last (mixed) frame of the previous buffer
  std::vector<std::int16_t> resampleScratch;  // one piece's output; never shrinks
  std::vector<std::int16_t> audioSamples;

  // Encoding, on the worker thread at the end of the job.
  AdpcmCoder adpcm;
};

}  // namespace zepra
