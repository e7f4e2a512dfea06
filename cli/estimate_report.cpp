#include "cli/estimate_report.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <cstdio>
#include <sstream>

#include "job/cartridge_layout.h"

namespace zepra::cli {

namespace {

// The sizes of a whole image, whether of one video or of several.
struct ImageSizes {
  std::uint64_t lowest, likely, max;
  bool sampled;
  double longestFittingSeconds;
};

ImageSizes sizesOf(const SizeEstimate& e) {
  return {e.imageBytesLowest, e.imageBytesLikely, e.imageBytesMax, e.sampled, e.longestFittingSeconds};
}

ImageSizes sizesOf(const CartridgeEstimate& e) {
  return {e.imageBytesLowest, e.imageBytesLikely, e.imageBytesMax, e.sampled, e.longestFittingSeconds};
}

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

// A JSON string: quotes, backslashes and control characters escaped.
std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string shapeText(const StreamShape& shape) {
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.3g", framesPerSecond(shape));
  return std::to_string(shape.frames) + " frames at " + rate + " fps, " + std::to_string(shape.width) + "x" +
         std::to_string(shape.height);
}

// The lines from "Likely size" on.
void sizeLines(std::ostringstream& out, const ImageSizes& s) {
  out << "Likely size:   " << mebibytesText(s.likely) << " (" << s.likely << " bytes)"
      << (s.sampled ? "" : ", not sampled") << "\n";
  out << "Largest size:  " << mebibytesText(s.max) << " (" << s.max << " bytes)\n";
  if (s.lowest > kCartridgeSizes.back()) {
    out << "Fits:          no cartridge: even the smallest image is " << mebibytesText(s.lowest) << "; at most "
        << durationText(s.longestFittingSeconds) << " of video fits 32 MiB\n";
  } else {
    out << "Fits:          " << cartridgeText(s.likely) << " likely, " << cartridgeText(s.max) << " surely\n";
  }
}

// The members of a whole image's object, from "imageBytesLikely" on.
void sizeMembers(std::ostringstream& out, const ImageSizes& s) {
  out << ",\"imageBytesLikely\":" << s.likely << ",\"imageBytesMax\":" << s.max
      << ",\"imageBytesLowest\":" << s.lowest << ",\"sampled\":" << (s.sampled ? "true" : "false")
      << ",\"cartridgeLikely\":" << jsonCartridge(s.likely) << ",\"cartridgeMax\":" << jsonCartridge(s.max)
      << ",\"longestFittingSeconds\":" << jsonNumber(s.longestFittingSeconds);
}

// The members that describe one video's stream shape.
void shapeMembers(std::ostringstream& out, const SizeEstimate& e) {
  out << "\"durationSeconds\":" << jsonNumber(e.durationSeconds) << ",\"sourceFrames\":" << e.sourceFrames
      << ",\"frames\":" << e.shape.frames << ",\"framesPerSecond\":" << jsonNumber(framesPerSecond(e.shape))
      << ",\"width\":" << e.shape.width << ",\"height\":" << e.shape.height;
}

// The videos' bitrates, lowest and highest: under a target each video has
// the one its share amounts to.
std::pair<int, int> bitrateRange(const CartridgeEstimate& e) {
  if (e.videos.empty()) return {0, 0};
  int low = e.videos.front().bitrate, high = low;
  for (const SizeEstimate& video : e.videos) {
    low = std::min(low, video.bitrate);
    high = std::max(high, video.bitrate);
  }
  return {low, high};
}

std::string menuNameOf(const CartridgeInput& input) {
  return input.name.empty() ? defaultVideoName(input.inputPath) : menuName(input.name);
}

}  // namespace

std::string estimateText(const SizeEstimate& e) {
  std::ostringstream out;
  out << "Duration:      " << durationText(e.durationSeconds) << " (" << shapeText(e.shape) << ")\n";
  out << "Bitrate:       " << e.bitrate << " KB/s\n";
  sizeLines(out, sizesOf(e));
  return out.str();
}

std::string estimateJson(const SizeEstimate& e) {
  std::ostringstream out;
  out << "{";
  shapeMembers(out, e);
  out << ",\"bitrate\":" << e.bitrate;
  sizeMembers(out, sizesOf(e));
  out << "}\n";
  return out.str();
}

std::string cartridgeEstimateText(const CartridgeEstimate& e, std::span<const CartridgeInput> inputs) {
  std::ostringstream out;
  out << "Videos:        " << e.videos.size() << ", " << durationText(e.durationSeconds) << " in all (" << e.frames
      << " frames)\n";
  const auto [low, high] = bitrateRange(e);
  out << "Bitrate:       " << low;
  if (high > low) out << " to " << high;
  out << " KB/s\n";
  sizeLines(out, sizesOf(e));
  for (std::size_t i = 0; i < e.videos.size() && i < inputs.size(); ++i) {
    const SizeEstimate& video = e.videos[i];
    out << "  " << (i + 1) << ". " << menuNameOf(inputs[i]) << ": " << durationText(video.durationSeconds) << " ("
        << shapeText(video.shape) << ") at " << video.bitrate << " KB/s, likely "
        << mebibytesText(video.streamBytesLikely) << ", at most "
        << mebibytesText(video.streamBytesMax) << "\n";
  }
  return out.str();
}

std::string cartridgeEstimateJson(const CartridgeEstimate& e, std::span<const CartridgeInput> inputs) {
  std::ostringstream out;
  out << "{\"durationSeconds\":" << jsonNumber(e.durationSeconds) << ",\"frames\":" << e.frames
      << ",\"bitrate\":" << bitrateRange(e).first;
  sizeMembers(out, sizesOf(e));
  out << ",\"playerBytes\":" << e.playerBytes << ",\"directoryBytes\":" << e.directoryBytes << ",\"videos\":[";
  for (std::size_t i = 0; i < e.videos.size() && i < inputs.size(); ++i) {
    const SizeEstimate& video = e.videos[i];
    out << (i == 0 ? "" : ",") << "{\"name\":" << jsonString(menuNameOf(inputs[i]))
        << ",\"input\":" << jsonString(inputs[i].inputPath) << ",";
    shapeMembers(out, video);
    out << ",\"bitrate\":" << video.bitrate << ",\"streamBytesLikely\":" << video.streamBytesLikely << ",\"streamBytesMax\":" << video.streamBytesMax
        << ",\"streamBytesLowest\":" << video.streamBytesLowest << ",\"sampled\":"
        << (video.sampled ? "true" : "false") << "}";
  }
  out << "]}\n";
  return out.str();
}

}  // namespace zepra::cli
