#pragma once
// The audio half of the decoding graph: the first audio stream's decoder and
// the conversion of its sound into interleaved PCM that the encoder takes
// (8 or 16 bits, mono or stereo). Float, planar, 24- or 32-bit and
// multi-channel sound becomes 16-bit stereo (mono stays mono); the sample
// rate is kept, since the encoder resamples on its own.

#include <cmath>
#include <cstdint>
#include <vector>

#include "media/media_formats.h"
#include "input/ffmpeg_handles.h"

namespace zepra {

class AudioSampleCallback;

class AudioDecoder {
 public:
  AudioDecoder() = default;
  ~AudioDecoder();
  AudioDecoder(const AudioDecoder&) = delete;
  AudioDecoder& operator=(const AudioDecoder&) = delete;

  // 0 when ready; kStreamUnsupported (video_decoder.h) when no decoder or no
  // usable sound format exists; otherwise FFmpeg's error code.
  // timeOrigin: the time, in seconds, at which the picture starts.
  int open(AVStream& stream, double timeOrigin);

  WaveFormatEx format() const;

  // Decodes one packet (null: drains the decoder) and delivers its sound.
  void decode(const AVPacket* packet, AudioSampleCallback& callback);

  int lastError() const { return lastError_; }
  // The latest end of decoded sound on the stream's clock, in seconds; NaN
  // before the first.
  double endTime() const { return endTime_; }

 private:
  void receiveFrames(AudioSampleCallback& callback);
  void deliver(const AVFrame& sound, AudioSampleCallback& callback);
  bool prepareResampler(const AVFrame& sound);
  void align(double time, AudioSampleCallback& callback);
  void send(double time, const std::uint8_t* data, int frames, AudioSampleCallback& callback);

  CodecContextPtr codec_;
  FramePtr sound_;
  ResampleContextPtr resampler_;
  AVSampleFormat outFormat_ = AV_SAMPLE_FMT_S16;
  int outChannels_ = 0;
  int outRate_ = 0;
  int bytesPerFrame_ = 0;
  std::vector<std::uint8_t> converted_;
  // What the resampler was made for; a change makes a new one.
  int resamplerFormat_ = -1, resamplerRate_ = 0;
  AVChannelLayout resamplerLayout_{};
  AVRational timeBase_{1, 1};
  double timeOrigin_ = 0.0;
  bool aligned_ = false;
  std::int64_t framesToSkip_ = 0;  // sound from before the picture starts
  int lastError_ = 0;
  double endTime_ = NAN;
};

}  // namespace zepra
