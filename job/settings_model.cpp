#include "job/settings_model.h"

#include <array>
#include <cstdint>

extern "C" {
#include <libavutil/avstring.h>
}

#include "video/frame_rate.h"

namespace zepra {

namespace {

// "Auto" and "Original" stand before the reductions, which follow the
// encoder's modes one for one.
static_assert(kFrameRateChoiceCount == kLastFrameRateMode + 2);

// What each preset but kManual fixes besides the shared defaults.
struct PresetShape {
  TrimMode trimMode;
  bool keepAspect;
  bool fullScreenSize;  // width and height set to the screen's
};
constexpr std::array<PresetShape, kPresetCount - 1> kPresetShapes = {{
    {TrimMode::kNone, true, false},   // kFit
    {TrimMode::kAuto, true, false},   // kCrop
    {TrimMode::kNone, false, true},   // kStretch
}};

}  // namespace

bool usesAutoTrim(TrimMode mode) { return mode == TrimMode::kAuto || mode == TrimMode::kMarginsThenAuto; }

bool usesMargins(TrimMode mode) {
  return mode == TrimMode::kMarginsThenAuto || mode == TrimMode::kMargins;
}

void applyPreset(ConversionJob& job, Preset preset) {
  if (preset == Preset::kManual) return;
  const PresetShape& shape = kPresetShapes.at(static_cast<std::size_t>(preset));
  job.trimMode = shape.trimMode;
  job.keepAspect = shape.keepAspect;
  if (shape.fullScreenSize) {
    job.width = kScreenWidth;
    job.height = kScreenHeight;
  }
  const ConversionJob defaults;
  job.trimLeft = defaults.trimLeft;
  job.trimBottom = defaults.trimBottom;
  job.trimRight = defaults.trimRight;
  job.trimTop = defaults.trimTop;
  job.frameRateIndex = defaults.frameRateIndex;
  job.preFilter = defaults.preFilter;
  job.gammaEnabled = defaults.gammaEnabled;
  job.gamma = defaults.gamma;
}

void applyAutoTrimRule(ConversionJob& job) {
  if (usesAutoTrim(job.trimMode)) job.keepAspect = true;
}

bool fieldInEffect(const ConversionJob& job, OptionField field) {
  switch (field) {
    case OptionField::kTrimMargins:
      return usesMargins(job.trimMode);
    case OptionField::kKeepAspect:
      return !usesAutoTrim(job.trimMode);
    case OptionField::kSize:
      return !job.keepAspect;
    case OptionField::kGamma:
      return job.gammaEnabled;
    case OptionField::kTrimMode:
    case OptionField::kFrameRate:
    case OptionField::kPreFilter:
    case OptionField::kGammaEnabled:
      break;
  }
  return true;
}

std::optional<std::string> titleProblem(std::string_view title) {
  const auto* at = reinterpret_cast<const std::uint8_t*>(title.data());
  const auto* end = at + title.size();
  while (at < end) {
    std::int32_t point = 0;
    // Overlong forms, surrogates and code points beyond Unicode are refused.
    if (av_utf8_decode(&point, &at, end, AV_UTF8_FLAG_ACCEPT_NON_CHARACTERS) < 0) {
      return "is not valid UTF-8 text";
    }
    // C0 and C1 controls and DEL: the header would hold them invisibly.
    if (point < 0x20 || (point >= 0x7F && point < 0xA0)) {
      return "holds a control character (such as a tab or a line break); use printable characters only";
    }
  }
  return std::nullopt;
}

}  // namespace zepra
