#include "input/video_frame_converter.h"

#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

namespace zepra {

namespace {
// The scaler's vector code converts rows in steps of up to this many pixels.
constexpr int kWholeVectorPixels = 16;
}  // namespace

int uprightRotation(const AVStream& stream) {
  const std::uint8_t* matrix =
      av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (!matrix) return 0;
  // The matrix gives the counter-clockwise angle by which the picture is
  // turned; showing it upright means turning it back, clockwise.
  const double angle = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
  if (std::isnan(angle)) return 0;
  const long quarter = std::lround(-angle / 90.0);
  return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

void VideoFrameConverter::configure(int width, int height, int rotation) {
  width_ = width;
  height_ = height;
  rotation_ = rotation;
  // The scaler's vector code may store a few pixels beyond a row's end, so
  // it writes into a top-down picture with roomy rows and slack at the end,
  // never straight into the frame.
  pictureStride_ = (width * 3 + 63) & ~63;
  const bool direct = rotation == 0 && width % kWholeVectorPixels == 0;
  picture_.assign(direct ? 0 : static_cast<std::size_t>(pictureStride_) * height + 64, 0);
  scaler_.reset();
}

bool VideoFrameConverter::prepareScaler(const AVFrame& picture) {
  if (scaler_ && picture.format == scalerFormat_ && picture.width == scalerWidth_ &&
      picture.height == scalerHeight_ && picture.colorspace == scalerColorSpace_ &&
      picture.color_range == scalerRange_) {
    return true;
  }
  scaler_.reset();
  // The full-range ("J") YUV formats are the plain ones with a range flag,
  // which is passed on explicitly below.
  bool fullRange = picture.color_range == AVCOL_RANGE_JPEG;
  auto format = static_cast<AVPixelFormat>(picture.format);
  switch (format) {
    case AV_PIX_FMT_YUVJ420P: format = AV_PIX_FMT_YUV420P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ422P: format = AV_PIX_FMT_YUV422P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ444P: format = AV_PIX_FMT_YUV444P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ440P: format = AV_PIX_FMT_YUV440P; fullRange = true; break;
    case AV_PIX_FMT_YUVJ411P: format = AV_PIX_FMT_YUV411P; fullRange = true; break;
    default: break;
  }
  if (!sws_isSupportedInput(format)) return false;
  scaler_.reset(sws_getContext(picture.width, picture.height, format, width_, height_,
                               AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!scaler_) return false;
  // Give YUV pictures the matrix and range they were coded with; unknown
  // matrices fall back to the standard-definition one.
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc && !(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3) {
    sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(picture.colorspace), fullRange,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  }
  scalerFormat_ = picture.format;
  scalerWidth_ = picture.width;
  scalerHeight_ = picture.height;
  scalerColorSpace_ = picture.colorspace;
  scalerRange_ = picture.color_range;
  return true;
}

bool VideoFrameConverter::convert(const AVFrame& picture, std::uint8_t* frame) {
  if (picture.width <= 0 || picture.height <= 0 || !prepareScaler(picture)) return false;
  if (rotation_ == 0 && width_ % kWholeVectorPixels == 0) {
    // Rows of whole vectors: the scaler stores nothing beyond them, so it
    // can write the bottom-up frame directly, from its last row backwards.
    const int stride = static_cast<int>(paddedRowBytes(width_));
    std::uint8_t* lastRow = frame + static_cast<std::size_t>(height_ - 1) * stride;
    int strides[1] = {-stride};
    return sws_scale(scaler_.get(), picture.data, picture.linesize, 0, picture.height, &lastRow,
                     strides) > 0;
  }
  std::uint8_t* top = picture_.data();
  int strides[1] = {pictureStride_};
  if (sws_scale(scaler_.get(), picture.data, picture.linesize, 0, picture.height, &top, strides) <= 0) {
    return false;
  }
  storeUpright(frame);
  return true;
}

void VideoFrameConverter::storeUpright(std::uint8_t* frame) const {
  // (u, v) is a pixel of the displayed picture, v counted from the top;
  // (x, y) the pixel of the decoded picture that lands there.
  const int outWidth = outputWidth();
  const int outHeight = outputHeight();
  const std::size_t stride = paddedRowBytes(outWidth);
  for (int v = 0; v < outHeight; ++v) {
    std::uint8_t* row = frame + static_cast<std::size_t>(outHeight - 1 - v) * stride;
    if (rotation_ == 0) {
      std::memcpy(row, picture_.data() + static_cast<std::size_t>(v) * pictureStride_,
                  static_cast<std::size_t>(width_) * 3);
      continue;
    }
    for (int u = 0; u < outWidth; ++u) {
      int x, y;
      switch (rotation_) {
        case 90: x = v; y = height_ - 1 - u; break;
        case 180: x = width_ - 1 - u; y = height_ - 1 - v; break;
        default: x = width_ - 1 - v; y = u; break;  // 270
      }
      std::memcpy(row + u * 3,
                  picture_.data() + static_cast<std::size_t>(y) * pictureStride_ + x * 3, 3);
    }
  }
}

}  // namespace zepra
