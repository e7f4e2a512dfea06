#include "cli/estimate_report.h"

#include <cmath>
#include <cstdio>
#include <sstream>

namespace zepra::cli {

namespace {

std::string cartridgeText(std::uint64_t bytes) {
  const std::uint64_t cartridge = smallestCartridgeFor(bytes);
  return cartridge == 0 ? std::string("no cartridge") : "a " + std::to_string(cartridge / kMiB) + " MiB cartridge";
}

double framesPerSecond(const StreamShape& shape) {
  return shape.rate.scale == 0 ? 0.0 : static_cast<double>(shape.rate.rate) / shape.rate.scale;
}

std::string jsonNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string jsonCartridge(std::uint64_t bytes) {
  const std::uint64_t cartridge = smallestCartridgeFor(bytes);
  return cartridge == 0 ? std::string("null") : std::to_string(cartridge);
}

}  // namespace

std::string estimateText(const SizeEstimate& e) {
  std::ostringstream out;
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.3g", framesPerSecond(e.shape));
  out << "Duration:      " << durationText(e.durationSeconds) << " (" << e.shape.frames << " frames at " << rate
      << " fps, " << e.shape.width << "x" << e.shape.height << ")\n";
  out << "Bitrate:       " << e.bitrate << " KB/s\n";
  out << "Likely size:   " << mebibytesText(e.imageBytesLikely) << " (" << e.imageBytesLikely << " bytes)"
      << (e.sampled ? "" : ", not sampled") << "\n";
  out << "Largest size:  " << mebibytesText(e.imageBytesMax) << " (" << e.imageBytesMax << " bytes)\n";
  if (e.imageBytesLowest > kCartridgeSizes.back()) {
    out << "Fits:          no cartridge: even the smallest image is " << mebibytesText(e.imageBytesLowest)
        << "; at most " << durationText(e.longestFittingSeconds) << " of video fits 32 MiB\n";
  } else {
    out << "Fits:          " << cartridgeText(e.imageBytesLikely) << " likely, " << cartridgeText(e.imageBytesMax)
        << " surely\n";
  }
  return out.str();
}

std::string estimateJson(const SizeEstimate& e) {
  std::ostringstream out;
  out << "{\"durationSeconds\":" << jsonNumber(e.durationSeconds) << ",\"sourceFrames\":" << e.sourceFrames
      << ",\"frames\":" << e.shape.frames << ",\"framesPerSecond\":" << jsonNumber(framesPerSecond(e.shape))
      << ",\"width\":" << e.shape.width << ",\"height\":" << e.shape.height << ",\"bitrate\":" << e.bitrate
      << ",\"imageBytesLikely\":" << e.imageBytesLikely << ",\"imageBytesMax\":" << e.imageBytesMax
      << ",\"imageBytesLowest\":" << e.imageBytesLowest << ",\"sampled\":" << (e.sampled ? "true" : "false")
      << ",\"cartridgeLikely\":" << jsonCartridge(e.imageBytesLikely)
      << ",\"cartridgeMax\":" << jsonCartridge(e.imageBytesMax)
      << ",\"longestFittingSeconds\":" << jsonNumber(e.longestFittingSeconds) << "}\n";
  return out.str();
}

}  // namespace zepra::cli
