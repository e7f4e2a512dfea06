#include "input/audio_decoder.h"

#include <algorithm>
#include <cmath>

#include "input/sample_callbacks.h"
#include "input/video_decoder.h"

namespace zepra {

namespace {

// Sound that starts this much before or after the picture is moved into
// step with it; larger offsets are taken for broken time stamps.
constexpr double kMinAlignSeconds = 0.001;
constexpr double kMaxAlignSeconds = 60.0;
// Silence goes out in buffers of this many frames.
constexpr int kSilenceChunkFrames = 4096;
constexpr int kMaxBufferFrames = 65536;

bool deliveredAsIs(AVSampleFormat format, int channels) {
  return (format == AV_SAMPLE_FMT_U8 || format == AV_SAMPLE_FMT_S16) && channels <= 2;
}

void copyLayout(const AVChannelLayout& from, AVChannelLayout& to) {
  av_channel_layout_uninit(&to);
  if (from.order == AV_CHANNEL_ORDER_UNSPEC) {
    // Without named channels the mixer needs the usual layout for the count.
    av_channel_layout_default(&to, from.nb_channels);
  } else {
    av_channel_layout_copy(&to, &from);
  }
}

}  // namespace

AudioDecoder::~AudioDecoder() { av_channel_layout_uninit(&resamplerLayout_); }

int AudioDecoder::open(AVStream& stream, double timeOrigin) {
  const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
  if (!decoder) return kStreamUnsupported;
  codec_.reset(avcodec_alloc_context3(decoder));
  sound_.reset(av_frame_alloc());
  if (!codec_ || !sound_) return AVERROR(ENOMEM);
  if (const int err = avcodec_parameters_to_context(codec_.get(), stream.codecpar); err < 0) return err;
  codec_->pkt_timebase = stream.time_base;
  if (const int err = avcodec_open2(codec_.get(), decoder, nullptr); err < 0) return err;

  const int channels = codec_->ch_layout.nb_channels;
  outRate_ = codec_->sample_rate;
  if (channels <= 0 || outRate_ <= 0) return kStreamUnsupported;
  if (deliveredAsIs(codec_->sample_fmt, channels)) {
    outFormat_ = codec_->sample_fmt;
    outChannels_ = channels;
  } else {
    outFormat_ = AV_SAMPLE_FMT_S16;
    outChannels_ = channels == 1 ? 1 : 2;
  }
  bytesPerFrame_ = av_get_bytes_per_sample(outFormat_) * outChannels_;
  timeBase_ = stream.time_base;
  timeOrigin_ = timeOrigin;
  return 0;
}

WaveFormatEx AudioDecoder::format() const {
  WaveFormatEx format;
  format.wFormatTag = kWaveFormatPcm;
  format.nChannels = static_cast<std::uint16_t>(outChannels_);
  format.nSamplesPerSec = static_cast<std::uint32_t>(outRate_);
  format.nBlockAlign = static_cast<std::uint16_t>(bytesPerFrame_);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  format.wBitsPerSample = static_cast<std::uint16_t>(av_get_bytes_per_sample(outFormat_) * 8);
  return format;
}

bool AudioDecoder::prepareResampler(const AVFrame& sound) {
  if (resampler_ && sound.format == resamplerFormat_ && sound.sample_rate == resamplerRate_ &&
      av_channel_layout_compare(&sound.ch_layout, &resamplerLayout_) == 0) {
    return true;
  }
  resampler_.reset();
  copyLayout(sound.ch_layout, resamplerLayout_);
  AVChannelLayout outLayout{};
  av_channel_layout_default(&outLayout, outChannels_);
  SwrContext* resampler = nullptr;
  // Mixing down to integer samples is normalised by the library, so a loud
  // 5.1 track does not clip.
  int err = swr_alloc_set_opts2(&resampler, &outLayout, outFormat_, outRate_, &resamplerLayout_,
                                static_cast<AVSampleFormat>(sound.format), sound.sample_rate, 0,
                                nullptr);
  av_channel_layout_uninit(&outLayout);
  resampler_.reset(resampler);
  if (err >= 0) err = swr_init(resampler_.get());
  if (err < 0) {
    lastError_ = err;
    resampler_.reset();
    return false;
  }
  resamplerFormat_ = sound.format;
  resamplerRate_ = sound.sample_rate;
  return true;
}

void AudioDecoder::send(double time, const std::uint8_t* data, int frames,
                        AudioSampleCallback& callback) {
  const int skipped = static_cast<int>(std::min<std::int64_t>(framesToSkip_, frames));
  framesToSkip_ -= skipped;
  frames -= skipped;
  data += static_cast<std::size_t>(skipped) * bytesPerFrame_;
  // The encoder counts a buffer's frames times 21024 in 32 bits: a long
  // buffer (uncompressed sound may come in seconds-long packets) goes in parts.
  while (frames > 0) {
    const int n = std::min(frames, kMaxBufferFrames);
    callback.bufferCB(time, data, n * bytesPerFrame_);
    data += static_cast<std::size_t>(n) * bytesPerFrame_;
    frames -= n;
  }
}

void AudioDecoder::align(double time, AudioSampleCallback& callback) {
  // The encoder lays sound buffers end to end from the picture's start, so
  // sound that begins later is preceded by silence and sound that begins
  // earlier loses its head.
  aligned_ = true;
  const double offset = time - timeOrigin_;
  if (std::isnan(offset) || std::fabs(offset) < kMinAlignSeconds ||
      std::fabs(offset) > kMaxAlignSeconds) {
    return;
  }
  const std::int64_t frames = std::llround(std::fabs(offset) * outRate_);
  if (offset < 0) {
    framesToSkip_ = frames;
    return;
  }
  const std::uint8_t silence = outFormat_ == AV_SAMPLE_FMT_U8 ? 0x80 : 0x00;
  const std::vector<std::uint8_t> chunk(static_cast<std::size_t>(kSilenceChunkFrames) * bytesPerFrame_,
                                        silence);
  for (std::int64_t left = frames; left > 0; left -= kSilenceChunkFrames) {
    const int n = static_cast<int>(std::min<std::int64_t>(left, kSilenceChunkFrames));
    callback.bufferCB(timeOrigin_, chunk.data(), n * bytesPerFrame_);
  }
}

void AudioDecoder::deliver(const AVFrame& sound, AudioSampleCallback& callback) {
  const double time = sound.best_effort_timestamp == AV_NOPTS_VALUE
                          ? NAN
                          : sound.best_effort_timestamp * av_q2d(timeBase_);
  if (!aligned_) align(time, callback);
  if (sound.sample_rate > 0 && !std::isnan(time)) {
    const double end = time + static_cast<double>(sound.nb_samples) / sound.sample_rate;
    if (std::isnan(endTime_) || end > endTime_) endTime_ = end;
  }
  if (sound.format == outFormat_ && sound.ch_layout.nb_channels == outChannels_ &&
      sound.sample_rate == outRate_) {
    send(time, sound.data[0], sound.nb_samples, callback);
    return;
  }
  if (!prepareResampler(sound)) return;
  const int capacity = swr_get_out_samples(resampler_.get(), sound.nb_samples);
  if (capacity <= 0) return;
  converted_.resize(static_cast<std::size_t>(capacity) * bytesPerFrame_);
  std::uint8_t* out = converted_.data();
  const int frames = swr_convert(resampler_.get(), &out, capacity,
                                 const_cast<const std::uint8_t**>(sound.extended_data),
                                 sound.nb_samples);
  if (frames < 0) {
    lastError_ = frames;
    return;
  }
  send(time, out, frames, callback);
}

void AudioDecoder::receiveFrames(AudioSampleCallback& callback) {
  for (;;) {
    const int err = avcodec_receive_frame(codec_.get(), sound_.get());
    if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
    if (err < 0) {
      lastError_ = err;
      return;
    }
    deliver(*sound_, callback);
    av_frame_unref(sound_.get());
  }
}

void AudioDecoder::decode(const AVPacket* packet, AudioSampleCallback& callback) {
  const int err = avcodec_send_packet(codec_.get(), packet);
  if (err < 0 && err != AVERROR(EAGAIN) && err != AVERROR_EOF) lastError_ = err;
  receiveFrames(callback);
  if (packet || !resampler_) return;
  // At the end the resampler gives up what it still holds.
  const int capacity = swr_get_out_samples(resampler_.get(), 0);
  if (capacity <= 0) return;
  converted_.resize(static_cast<std::size_t>(capacity) * bytesPerFrame_);
  std::uint8_t* out = converted_.data();
  const int frames = swr_convert(resampler_.get(), &out, capacity, nullptr, 0);
  if (frames > 0) send(NAN, out, frames, callback);
}

}  // namespace zepra
