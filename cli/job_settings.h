#pragma once
// The dialog's settings as words on a command line: the names of the
// presets and list entries, the parsing of each value with the dialog's
// ranges, and the presets themselves. Every parser either fills its result
// or returns a message that names the option and says what it accepts.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "job/conversion_job.h"

namespace zepra::cli {

// The dialog's four option modes, in the order of its radio buttons.
enum class Preset { kFit = 0, kCrop = 1, kStretch = 2, kManual = 3 };

// Names accepted on the command line, indexed like the dialog's lists.
inline constexpr std::array<std::string_view, 4> kPresetNames = {"fit", "crop", "stretch", "manual"};
inline constexpr std::array<std::string_view, 4> kTrimNames = {"none", "auto", "auto+margins", "margins"};
inline constexpr std::array<std::string_view, 9> kFrameRateNames = {
    "auto", "original", "4/5", "2/3", "1/2", "2/5", "1/3", "1/4", "1/5"};
inline constexpr std::array<std::string_view, 4> kFilterNames = {"none", "15bit", "dither2", "dither4"};

inline constexpr int kMinBitrate = 1;  // the encoder refuses 0
inline constexpr int kMaxBitrate = 500;
inline constexpr int kMaxTrimMargin = 1000;
inline constexpr int kMinSide = 4;
inline constexpr int kMaxWidth = 240;
inline constexpr int kMaxHeight = 160;
inline constexpr double kMinGamma = 0.01;
inline constexpr double kMaxGamma = 7.99;
inline constexpr std::size_t kMaxTitleBytes = 12;

// What a parser gives back: nothing on success, else the message.
using Refusal = std::optional<std::string>;

// Sets the fields a preset fixes, as the dialog's option buttons do; the
// manual mode changes nothing.
void applyPreset(ConversionJob& job, Preset preset);

Refusal parsePreset(std::string_view text, Preset& preset);
Refusal parseTitle(std::string_view text, std::string& title);
Refusal parseBitrate(std::string_view text, int& bitrate);
Refusal parseTrimMode(std::string_view text, int& trimMode);
// "left,bottom,right,top", each 0..1000.
Refusal parseTrimMargins(std::string_view text, ConversionJob& job);
// "WxH" (both multiples of 4 within 240 x 160) or "auto"; sets keepAspect.
Refusal parseSize(std::string_view text, ConversionJob& job);
Refusal parseFrameRate(std::string_view text, int& frameRateIndex);
Refusal parseFilter(std::string_view text, int& preFilter);
// A number from 0.01 to 7.99, or "off"; sets gammaEnabled.
Refusal parseGamma(std::string_view text, ConversionJob& job);

// An image size for --fit: a number of bytes, or of KiB or MiB with a K or M
// after it ("16M"); more than 0 and at most 32 MiB, the largest cartridge.
Refusal parseImageSize(std::string_view text, std::uint64_t& bytes);

// "a, b or c": the names of a list, for messages and the help text.
std::string nameList(const std::string_view* names, std::size_t count);
template <std::size_t N>
std::string nameList(const std::array<std::string_view, N>& names) {
  return nameList(names.data(), N);
}

}  // namespace zepra::cli
