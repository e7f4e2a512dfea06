#include "cli/job_settings.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace zepra::cli {

namespace {

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// A whole decimal number and nothing else.
std::optional<int> wholeNumber(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [next, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || next != end) return std::nullopt;
  return value;
}

Refusal parseInRange(std::string_view option, std::string_view text, int low, int high, int& out) {
  const std::optional<int> value = wholeNumber(text);
  if (!value || *value < low || *value > high) {
    return std::string(option) + ": " + quoted(text) + " is not allowed; use a whole number from " +
           std::to_string(low) + " to " + std::to_string(high);
  }
  out = *value;
  return std::nullopt;
}

// The choice whose name the text is; choices are numbered like their names.
template <typename Choice, std::size_t N>
Refusal parseName(std::string_view option, std::string_view text,
                  const std::array<std::string_view, N>& names, Choice& choice) {
  for (std::size_t i = 0; i < N; ++i) {
    if (names[i] == text) {
      choice = static_cast<Choice>(i);
      return std::nullopt;
    }
  }
  return std::string(option) + ": " + quoted(text) + " is not one of " + nameList(names);
}

std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

}  // namespace

Refusal parseImageSize(std::string_view text, std::uint64_t& bytes) {
  constexpr std::uint64_t kLargest = 32ull << 20;
  const auto refusal = [&] {
    return "--fit: " + quoted(text) +
           " is not a cartridge size; use 4M, 8M, 16M or 32M (MiB), or a number of bytes up to 32M";
  };
  std::string_view digits = text;
  std::uint64_t unit = 1;
  if (!digits.empty() && (digits.back() == 'M' || digits.back() == 'm')) unit = 1ull << 20;
  if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k')) unit = 1ull << 10;
  if (unit != 1) digits.remove_suffix(1);
  std::uint64_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [next, error] = std::from_chars(digits.data(), end, value);
  if (digits.empty() || next != end) return refusal();
  if (error != std::errc() || value > kLargest / unit) {
    return "--fit: " + quoted(text) + " is larger than the largest cartridge, 32M (33554432 bytes)";
  }
  if (value == 0) return "--fit: the size must be more than 0";
  bytes = value * unit;
  return std::nullopt;
}

std::string nameList(const std::string_view* names, std::size_t count) {
  std::string list;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) list += (i + 1 == count) ? " or " : ", ";
    list += names[i];
  }
  return list;
}

Refusal parsePreset(std::string_view text, Preset& preset) {
  return parseName("--preset", text, kPresetNames, preset);
}

Refusal parseTitle(std::string_view text, std::string& title) {
  // The cartridge header holds 12 bytes; a longer title would be cut, a
  // multibyte character possibly in half.
  if (std::optional<std::string> problem = titleProblem(text)) return "--title: the title " + *problem;
  if (text.size() > kMaxTitleLength) {
    return "--title: " + quoted(text) + " is too long; the cartridge header holds at most " +
           std::to_string(kMaxTitleLength) + " characters (" + std::to_string(kMaxTitleLength) +
           " bytes)";
  }
  title = text;
  return std::nullopt;
}

Refusal parseBitrate(std::string_view text, int& bitrate) {
  // 0 is refused here rather than when the job starts.
  return parseInRange("--bitrate", text, kMinRunnableBitrate, kBitrateRange.max, bitrate);
}

Refusal parseTrimMode(std::string_view text, TrimMode& trimMode) {
  return parseName("--trim", text, kTrimNames, trimMode);
}

Refusal parseTrimMargins(std::string_view text, ConversionJob& job) {
  const std::vector<std::string_view> parts = split(text, ',');
  if (parts.size() != 4) {
    return "--trim-margins: " + quoted(text) +
           " is not four numbers; write left,bottom,right,top, for example 8,0,8,0";
  }
  int margins[4] = {};
  static constexpr std::string_view kEdges[4] = {"left", "bottom", "right", "top"};
  for (int i = 0; i < 4; ++i) {
    if (Refusal refusal = parseInRange("--trim-margins", parts[i], kTrimMarginRange.min,
                                                kTrimMarginRange.max, margins[i])) {
      return *refusal + " (the " + std::string(kEdges[i]) + " margin)";
    }
  }
  job.trimLeft = margins[0];
  job.trimBottom = margins[1];
  job.trimRight = margins[2];
  job.trimTop = margins[3];
  return std::nullopt;
}

Refusal parseSize(std::string_view text, ConversionJob& job) {
  if (text == "auto") {
    job.keepAspect = true;
    return std::nullopt;
  }
  const std::size_t x = text.find_first_of("xX");
  const std::optional<int> width = x == std::string_view::npos ? std::nullopt : wholeNumber(text.substr(0, x));
  const std::optional<int> height = x == std::string_view::npos ? std::nullopt : wholeNumber(text.substr(x + 1));
  if (!width || !height) {
    return "--size: " + quoted(text) + " is not a size; write WIDTHxHEIGHT (for example 240x160) or auto";
  }
  if (!kWidthRange.contains(*width) || !kHeightRange.contains(*height)) {
    return "--size: " + quoted(text) + " does not fit the screen; the width can be " +
           std::to_string(kWidthRange.min) + " to " + std::to_string(kWidthRange.max) + ", the height " +
           std::to_string(kHeightRange.min) + " to " + std::to_string(kHeightRange.max);
  }
  if (*width % kSizeStep != 0 || *height % kSizeStep != 0) {
    return "--size: " + quoted(text) + " is not allowed; width and height must be multiples of " +
           std::to_string(kSizeStep);
  }
  job.keepAspect = false;
  job.width = *width;
  job.height = *height;
  return std::nullopt;
}

Refusal parseFrameRate(std::string_view text, FrameRateChoice& frameRateIndex) {
  return parseName("--framerate", text, kFrameRateNames, frameRateIndex);
}

Refusal parseFilter(std::string_view text, PreFilter& preFilter) {
  return parseName("--filter", text, kFilterNames, preFilter);
}

Refusal parseGamma(std::string_view text, ConversionJob& job) {
  if (text == "off") {
    job.gammaEnabled = false;
    return std::nullopt;
  }
  double value = 0;
  const char* end = text.data() + text.size();
  auto [next, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || next != end || !(value >= kMinGamma && value <= kMaxGamma)) {
    return "--gamma: " + quoted(text) + " is not allowed; use a number from " + decimal(kMinGamma) +
           " to " + decimal(kMaxGamma) + ", or off";
  }
  // The job carries a 32-bit float, and the float nearest 0.01 lies just
  // below it, where the encoder would refuse it: take the next one up.
  float gamma = static_cast<float>(value);
  if (static_cast<double>(gamma) < kMinGamma) gamma = std::nextafter(gamma, 1.0f);
  if (static_cast<double>(gamma) > kMaxGamma) gamma = std::nextafter(gamma, 0.0f);
  job.gammaEnabled = true;
  job.gamma = gamma;
  return std::nullopt;
}

}  // namespace zepra::cli
