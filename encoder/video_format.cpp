// Acceptance of the decoded video format: the source frame rate, the
// geometry, the frame-rate reduction, the per-frame figures and the frame
// buffers of one job.

#include <algorithm>
#include <cstdio>
#include <limits>

#include "encoder/stream_encoder.h"

namespace zepra {

void StreamEncoder::setContainerFrameRate(std::uint32_t rate, std::uint32_t scale) {
  sourceRate_ = {rate, scale};
}

std::uint32_t StreamEncoder::sourceRate() const { return sourceRate_.rate; }
std::uint32_t StreamEncoder::sourceScale() const { return sourceRate_.scale; }

bool StreamEncoder::setPictureAspect(const VideoInfoHeader2& format) {
  if (format.dwPictAspectRatioX == 0 || format.dwPictAspectRatioY == 0) return false;
  pictureAspectX_ = format.dwPictAspectRatioX;
  pictureAspectY_ = format.dwPictAspectRatioY;
  return true;
}

bool StreamEncoder::refuseFrameRate(FrameRate rate, const char* comparison, const char* advice) {
  char text[200];
  std::snprintf(text, sizeof text,
                "The frame rate of %.10g frames per second is %s than a console stream can "
                "carry; %s.",
                static_cast<double>(rate.rate) / rate.scale, comparison, advice);
  formatRefusal_ = text;
  return false;
}

bool StreamEncoder::acceptVideoFormat(const VideoInfoHeader& format) {
  formatRefusal_.clear();
  const BitmapInfoHeader& bitmap = format.bmiHeader;
  if (bitmap.biPlanes != 1 || bitmap.biBitCount != 24 || bitmap.biCompression != kBiRgb) {
    return false;
  }

  // A frame duration (100 ns units) gives the rate in thousandths: 29.97
  // frames/s, a duration of 333667, gives 29970 / 1000.
  if (format.AvgTimePerFrame > 0) {
    const std::int64_t rate = 10'000'000'000LL / format.AvgTimePerFrame;
    sourceRate_ = {static_cast<std::uint32_t>(
                       std::min<std::int64_t>(rate, std::numeric_limits<std::uint32_t>::max())),
                   1000};
  }
  if (sourceRate_.rate == 0 || sourceRate_.scale == 0) return false;
  if (static_cast<double>(sourceRate_.rate) / sourceRate_.scale >= kMaxSourceFramesPerSecond) {
    return refuseFrameRate(sourceRate_, "more", "its header is probably damaged");
  }

  GeometryRequest request;
  request.sourceWidth = bitmap.biWidth;
  request.sourceHeight = bitmap.biHeight;
  request.trim = options_.trim;
  request.autoTrim = options_.autoTrim;
  request.outputWidth = options_.outputWidth;
  request.outputHeight = options_.outputHeight;
  request.pictureAspectX = pictureAspectX_;
  request.pictureAspectY = pictureAspectY_;
  const std::optional<Geometry> geometry = fitPicture(request);
  if (!geometry) {
    // Trims that leave nothing get the format error, which names the settings.
    if (trimsLeavePixels(request)) {
      formatRefusal_ =
          "The picture is too thin to fit the screen at its own shape: the fitted picture "
          "would be less than 2 pixels across. Choose a fixed output size instead.";
    }
    return false;
  }

  const FrameSelection selection = resolveFrameRateMode(options_.frameRateMode, sourceRate_);
  const FrameRate output = reduceFrameRate(selection, sourceRate_);
  if (output.rate == 0) return false;
  // A stream too slow to advance by one 16.16 step per refresh cannot be played.
  const std::uint32_t step = zepra::playbackStep(output);
  if (step == 0) {
    return refuseFrameRate(output, "less", selection.mode == 0 ? "its header is probably damaged"
                                                               : "choose a smaller frame-rate reduction");
  }

  options_.trim = geometry->trim;
  options_.outputWidth = geometry->outputWidth;
  options_.outputHeight = geometry->outputHeight;
  options_.frameRateMode = selection.mode;
  selection_ = selection;
  outputRate_ = output;
  frameByteTarget_ = zepra::frameByteTarget(options_.bitrate, output);
  playbackStep_ = step;
  sourceWidth_ = bitmap.biWidth;
  sourceHeight_ = bitmap.biHeight;

  compressorInputFormat_ = bitmap;
  compressorInputFormat_.biWidth = geometry->outputWidth;
  compressorInputFormat_.biHeight = geometry->outputHeight;
  compressorInputFormat_.biSizeImage =
      static_cast<std::uint32_t>(geometry->outputWidth * geometry->outputHeight * 3);
  converter_.configure({sourceWidth_, sourceHeight_, geometry->trim, geometry->outputWidth,
                        geometry->outputHeight, options_.preFilter, options_.gamma});
  previousFrame_.assign(converter_.frameBytes(), 0);
  videoAccepted_ = true;
  return true;
}

}  // namespace zepra
