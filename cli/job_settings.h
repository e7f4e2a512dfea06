#pragma once
// The job's settings as words on a command line: the names of the presets
// and list entries, and the parsing of each value within the settings'
// limits. Every parser either fills its result or returns a message that
// names the option and says what it accepts.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "job/settings_model.h"

namespace zepra::cli {

// Names accepted on the command line, in the order of the settings' choices.
inline constexpr std::array<std::string_view, kPresetCount> kPresetNames = {"fit", "crop", "stretch",
                                                                            "manual"};
inline constexpr std::array<std::string_view, kTrimModeCount> kTrimNames = {"none", "auto", "auto+margins",
                                                                            "margins"};
inline constexpr std::array<std::string_view, kFrameRateChoiceCount> kFrameRateNames = {
    "auto", "original", "4/5", "2/3", "1/2", "2/5", "1/3", "1/4", "1/5"};
inline constexpr std::array<std::string_view, kPreFilterCount> kFilterNames = {"none", "15bit", "dither2",
                                                                               "dither4"};

// What a parser gives back: nothing on success, else the message.
using Refusal = std::optional<std::string>;

Refusal parsePreset(std::string_view text, Preset& preset);
Refusal parseTitle(std::string_view text, std::string& title);
Refusal parseBitrate(std::string_view text, int& bitrate);
Refusal parseTrimMode(std::string_view text, TrimMode& trimMode);
// "left,bottom,right,top", each 0..1000.
Refusal parseTrimMargins(std::string_view text, ConversionJob& job);
// "WxH" (both multiples of 4 within 240 x 160) or "auto"; sets keepAspect.
Refusal parseSize(std::string_view text, ConversionJob& job);
Refusal parseFrameRate(std::string_view text, FrameRateChoice& frameRateIndex);
Refusal parseFilter(std::string_view text, PreFilter& preFilter);
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
