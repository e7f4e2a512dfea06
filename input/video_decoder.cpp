#include "input/video_decoder.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "input/frame_queue.h"
#include "input/packet_queue.h"
#include "input/sample_callbacks.h"

namespace zepra {

namespace {

// Average durations outside these bounds are time-base artefacts, not rates.
constexpr double kMinFramesPerSecond = 0.1;
constexpr double kMaxFramesPerSecond = 1000.0;
// Pictures of up to this many pixels (720 x 576) are decoded on one thread.
constexpr long kLargestSingleThreadPicture = 720L * 576;

std::int64_t averageDuration(const AVStream& stream) {
  const AVRational rate = stream.avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) return 0;
  const double fps = av_q2d(rate);
  if (fps < kMinFramesPerSecond || fps > kMaxFramesPerSecond) return 0;
  return std::llround(1e7 / fps);
}

VideoInfoHeader2 displayAspect(const AVFormatContext& container, AVStream& stream,
                               int width, int height, int rotation) {
  VideoInfoHeader2 aspect;
  const AVRational sample =
      av_guess_sample_aspect_ratio(const_cast<AVFormatContext*>(&container), &stream, nullptr);
  if (sample.num <= 0 || sample.den <= 0 || sample.num == sample.den) return aspect;
  // The displayed picture is width x height pixels of shape num:den, turned
  // on its side when the stream is shown rotated by a quarter.
  std::int64_t x = static_cast<std::int64_t>(width) * sample.num;
  std::int64_t y = static_cast<std::int64_t>(height) * sample.den;
  if (rotation % 180) std::swap(x, y);
  int num = 0, den = 0;
  av_reduce(&num, &den, x, y, INT32_MAX);
  if (num > 0 && den > 0) {
    aspect.dwPictAspectRatioX = static_cast<std::uint32_t>(num);
    aspect.dwPictAspectRatioY = static_cast<std::uint32_t>(den);
  }
  return aspect;
}

}  // namespace

int VideoDecoder::open(const AVFormatContext& container, AVStream& stream, std::int64_t originStamp) {
  const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
  if (!decoder) return kStreamUnsupported;
  codec_.reset(avcodec_alloc_context3(decoder));
  picture_.reset(av_frame_alloc());
  if (!codec_ || !picture_) return AVERROR(ENOMEM);
  if (const int err = avcodec_parameters_to_context(codec_.get(), stream.codecpar); err < 0) return err;
  codec_->pkt_timebase = stream.time_base;
  // Larger pictures get decoder threads beside the encoding threads. A
  // standard-definition picture decodes quicker than threads hand it over,
  // and the cores are better left to the compressor.
  const bool small = codec_->width > 0 && codec_->height > 0 &&
                     static_cast<long>(codec_->width) * codec_->height <= kLargestSingleThreadPicture;
  codec_->thread_count = small ? 1 : 0;
  codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  if (const int err = avcodec_open2(codec_.get(), decoder, nullptr); err < 0) return err;

  const int width = codec_->width;
  const int height = codec_->height;
  if (width <= 0 || height <= 0) return kStreamUnsupported;
  if (codec_->pix_fmt != AV_PIX_FMT_NONE && !sws_isSupportedInput(codec_->pix_fmt)) {
    return kStreamUnsupported;
  }
  const int rotation = uprightRotation(stream);
  converter_.configure(width, height, rotation);
  aspect_ = displayAspect(container, stream, width, height, rotation);
  averageFrameDuration_ = averageDuration(stream);
  timeBase_ = stream.time_base;
  originStamp_ = originStamp;
  return 0;
}

VideoInfoHeader VideoDecoder::format() const {
  VideoInfoHeader format;
  format.AvgTimePerFrame = averageFrameDuration_;
  format.bmiHeader.biWidth = converter_.outputWidth();
  format.bmiHeader.biHeight = converter_.outputHeight();  // positive: bottom-up
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 24;
  format.bmiHeader.biCompression = kBiRgb;
  format.bmiHeader.biSizeImage = converter_.frameBytes();
  return format;
}

void VideoDecoder::noteEnd(const AVFrame& picture) {
  if (picture.best_effort_timestamp == AV_NOPTS_VALUE) return;
  const double duration = picture.pkt_duration > 0 ? picture.pkt_duration * av_q2d(timeBase_)
                                                   : averageFrameDuration_ / 1e7;
  const double end = picture.best_effort_timestamp * av_q2d(timeBase_) + duration;
  if (std::isnan(endTime_) || end > endTime_) endTime_ = end;
}

double VideoDecoder::frameTime(const AVFrame& picture) const {
  // The first picture opens the movie at 0 even when the decoder could only
  // start later (an open group of pictures): the encoder then holds it until
  // the next one is due, which keeps every later picture in step with the
  // sound.
  if (framesConverted_ == 0 && atStart_) return 0.0;
  const std::int64_t stamp = picture.best_effort_timestamp;
  double time;
  if (stamp == AV_NOPTS_VALUE) {
    time = lastTime_ + averageFrameDuration_ / 1e7;
  } else {
    time = stampTime(stamp);
  }
  if (std::isnan(time)) return time;
  return time > 0.0 ? time : 0.0;
}

void VideoDecoder::keepTime(double time) {
  lastTime_ = time;
  ++framesConverted_;
}

std::int64_t VideoDecoder::stampAt(double time) const {
  return originStamp_ + static_cast<std::int64_t>(std::floor(time * timeBase_.den / timeBase_.num));
}

double VideoDecoder::stampTime(std::int64_t stamp) const {
  // One rounding of the exact fraction: a frame due at slot k of a grid the
  // time base states exactly (k/25 s at 1/12800) then compares equal to the
  // slot instead of an ulp late, which the pacing would fill with a repeated
  // frame.
  return static_cast<double>(stamp - originStamp_) * timeBase_.num / timeBase_.den;
}

void VideoDecoder::send(const AVPacket* packet) {
  const int err = avcodec_send_packet(codec_.get(), packet);
  if (err < 0 && err != AVERROR(EAGAIN) && err != AVERROR_EOF) lastError_ = err;
}

bool VideoDecoder::receive(double& time, bool& key) {
  const int err = avcodec_receive_frame(codec_.get(), picture_.get());
  if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return false;
  if (err < 0) {
    lastError_ = err;
    return false;
  }
  noteEnd(*picture_);
  stamped_ = picture_->best_effort_timestamp != AV_NOPTS_VALUE;
  time = frameTime(*picture_);
  key = picture_->key_frame != 0;
  return true;
}

bool VideoDecoder::publish(FrameQueue& frames, double time) {
  DecodedFrame* frame = frames.acquire();
  if (!frame) {
    av_frame_unref(picture_.get());
    return false;
  }
  if (converter_.convert(*picture_, frame->pixels.data())) {
    frame->time = time;
    keepTime(time);
    frames.publish(frame);
  } else {
    unconvertible_ = true;
    frames.release(frame);
  }
  av_frame_unref(picture_.get());
  return true;
}

void VideoDecoder::pass(double time) {
  keepTime(time);
  av_frame_unref(picture_.get());
}

void VideoDecoder::drop() { av_frame_unref(picture_.get()); }

void VideoDecoder::skipUnreferenced(bool skip) { codec_->skip_frame = skip ? AVDISCARD_NONREF : AVDISCARD_DEFAULT; }

void VideoDecoder::restart(bool atStart) {
  avcodec_flush_buffers(codec_.get());
  atStart_ = atStart;
  framesConverted_ = 0;
  // Away from the start no earlier time is known until a picture brings one.
  lastTime_ = atStart ? 0.0 : NAN;
}

void VideoDecoder::receiveFrames(FrameQueue& frames, const std::atomic<bool>& stop) {
  double time = 0.0;
  bool key = false;
  while (!stop && !aborted_ && receive(time, key)) {
    if (!publish(frames, time)) aborted_ = true;
  }
}

void VideoDecoder::decode(PacketQueue& packets, FrameQueue& frames, const std::atomic<bool>& stop) {
  while (PacketPtr packet = packets.pop()) {
    send(packet.get());
    receiveFrames(frames, stop);
    if (stop || aborted_) break;
  }
  if (!stop && !aborted_) {
    send(nullptr);
    receiveFrames(frames, stop);
  }
  frames.finish();
}

void VideoDecoder::deliver(FrameQueue& frames, VideoSampleCallback& callback) {
  while (DecodedFrame* frame = frames.next()) {
    ++framesDelivered_;
    const bool taken = callback.bufferCB(frame->time, frame->pixels.data(),
                                         static_cast<std::int32_t>(frame->pixels.size()));
    frames.release(frame);
    if (!taken) {
      encoderFailed_ = true;
      return;
    }
  }
}

}  // namespace zepra
