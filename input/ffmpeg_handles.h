#pragma once
// Owning handles for the FFmpeg objects the decoding graph holds, so that
// every path out of a build or a run frees exactly what it obtained.

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace zepra {

struct FormatContextCloser {
  void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct CodecContextFreer {
  void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct FrameFreer {
  void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleContextFreer {
  void operator()(SwsContext* p) const { sws_freeContext(p); }
};
struct ResampleContextFreer {
  void operator()(SwrContext* p) const { swr_free(&p); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScaleContextPtr = std::unique_ptr<SwsContext, ScaleContextFreer>;
using ResampleContextPtr = std::unique_ptr<SwrContext, ResampleContextFreer>;

}  // namespace zepra
