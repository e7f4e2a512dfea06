#include "tests/cinepak/ffmpeg_cinepak.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace zepra::test {

struct FfmpegCinepakDecoder::Context {
  AVCodecContext* codec = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  ~Context() {
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
  }
};

FfmpegCinepakDecoder::FfmpegCinepakDecoder(int width, int height)
    : context_(std::make_unique<Context>()), width_(width), height_(height) {
  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_CINEPAK);
  context_->codec = avcodec_alloc_context3(codec);
  context_->codec->width = width;
  context_->codec->height = height;
  context_->codec->bits_per_coded_sample = 24;
  if (avcodec_open2(context_->codec, codec, nullptr) < 0) avcodec_free_context(&context_->codec);
  context_->packet = av_packet_alloc();
  context_->frame = av_frame_alloc();
}

FfmpegCinepakDecoder::~FfmpegCinepakDecoder() = default;

bool FfmpegCinepakDecoder::decode(std::span<const std::uint8_t> data) {
  if (context_->codec == nullptr) return false;
  std::vector<std::uint8_t> padded(data.begin(), data.end());
  padded.resize(data.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
  context_->packet->data = padded.data();
  context_->packet->size = static_cast<int>(data.size());
  if (avcodec_send_packet(context_->codec, context_->packet) < 0) return false;
  if (avcodec_receive_frame(context_->codec, context_->frame) < 0) return false;
  const AVFrame* f = context_->frame;
  if (f->format != AV_PIX_FMT_RGB24 || f->width != width_ || f->height != height_) return false;
  picture_.resize(static_cast<std::size_t>(width_) * height_);
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* row = f->data[0] + static_cast<std::ptrdiff_t>(y) * f->linesize[0];
    for (int x = 0; x < width_; ++x)
      picture_[static_cast<std::size_t>(y) * width_ + x] = {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
  }
  return true;
}

}  // namespace zepra::test
