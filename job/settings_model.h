#pragma once
// The settings of one conversion, once for both front ends: the choices of
// each list, the defaults, the limits of every field, what each preset sets,
// and the rules that tie the fields together. The dialog and the command line
// present these settings in their own words and check their fields against
// the limits here; the job turns them into the encoder's arguments.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "video/frame_converter.h"
#include "video/geometry.h"

namespace zepra {

// How the trim margins are used, in the order of the dialog's trim list.
enum class TrimMode : int {
  kNone = 0,              // the whole picture
  kAuto = 1,              // cut to the screen's 3:2 shape, 240 x 160
  kMarginsThenAuto = 2,   // the margins first, then the automatic cut
  kMargins = 3,           // the margins only
};
inline constexpr int kTrimModeCount = 4;

// The option modes, in the order of the dialog's radio buttons. The first
// three fix every option field; only kManual leaves them to the user.
enum class Preset : int {
  kFit = 0,      // the whole picture, scaled to fit, aspect kept
  kCrop = 1,     // cut to the screen's shape, filling it
  kStretch = 2,  // the whole picture stretched to the full screen
  kManual = 3,
};
inline constexpr int kPresetCount = 4;

// The frame-rate list: kAuto lets the source's rate decide, kOriginal keeps
// every frame, the others keep that share of the frames.
enum class FrameRateChoice : int {
  kAuto = 0,
  kOriginal = 1,
  kKeep4of5 = 2,
  kKeep2of3 = 3,
  kKeep1of2 = 4,
  kKeep2of5 = 5,
  kKeep1of3 = 6,
  kKeep1of4 = 7,
  kKeep1of5 = 8,
};
inline constexpr int kFrameRateChoiceCount = 9;

// The pre-filter list is the frame conversion's PreFilter, kNoFilter to
// k4xDithering in list order.
inline constexpr int kPreFilterCount = k4xDithering + 1;

// An inclusive range of whole numbers.
struct IntRange {
  int min;
  int max;
  constexpr bool contains(int value) const { return value >= min && value <= max; }
};

// Every limit of the settings.
inline constexpr std::size_t kMaxPathLength = 511;  // characters of a file name
inline constexpr std::size_t kMaxTitleLength = 12;  // the cartridge header's title field
// The bitrate field takes 0 as it always has; a job with 0 is refused when it
// starts, since the encoder needs at least one kilobyte per second.
inline constexpr IntRange kBitrateRange{0, 500};
inline constexpr int kMinRunnableBitrate = 1;
inline constexpr int kSizeStep = 4;  // a fixed width and height are multiples of this
inline constexpr IntRange kWidthRange{kSizeStep, kScreenWidth};
inline constexpr IntRange kHeightRange{kSizeStep, kScreenHeight};
inline constexpr IntRange kTrimMarginRange{0, 1000};
inline constexpr double kMinGamma = kMinBrightnessGamma;
inline constexpr double kMaxGamma = kMaxBrightnessGamma;

// The defaults, with which every start of a front end begins.
inline constexpr int kDefaultBitrate = 120;
inline constexpr float kDefaultGamma = 1.33f;
inline constexpr Preset kDefaultPreset = Preset::kFit;

// The settings of one job, as the dialog or the command line holds them.
struct ConversionJob {
  std::string inputPath;
  std::string outputPath;
  std::string romTitle;  // at most kMaxTitleLength bytes reach the image
  int bitrate = kDefaultBitrate;  // kilobytes per second
  int width = kScreenWidth;
  int height = kScreenHeight;
  bool keepAspect = true;  // width and height are chosen automatically
  TrimMode trimMode = TrimMode::kNone;
  int trimLeft = 0;
  int trimBottom = 0;
  int trimRight = 0;
  int trimTop = 0;
  FrameRateChoice frameRateIndex = FrameRateChoice::kAuto;
  PreFilter preFilter = k4xDithering;
  bool gammaEnabled = true;
  float gamma = kDefaultGamma;
  // A target size for the image in bytes (0: none). With one, the bitrate
  // follows from it and the frames are allocated in two passes.
  std::uint64_t fitBytes = 0;
  // Two passes at the bitrate: the same total, spent where the frames need it.
  bool twoPass = false;
  // An intra-coded frame at least this often, in seconds of video (0: only
  // the first frame). Neither front end sets it; a cartridge of several
  // videos does, so that its menu can resume a video quickly.
  double keyFrameSeconds = 0;

  bool operator==(const ConversionJob&) const = default;
};

// How often the streams of a cartridge of several videos carry a key frame.
// Resuming decodes silently from the key frame before the position, so this
// bounds the wait; each key frame costs a little picture quality, since it
// is coded without the frame before it within the same byte budget.
inline constexpr double kCartridgeKeyFrameSeconds = 4.0;

// Whether the trim mode cuts to the screen's shape; such a cut always makes
// a full-screen picture of that shape, so it forces keepAspect.
bool usesAutoTrim(TrimMode mode);
// Whether the trim mode uses the four margins; other modes pass them as 0.
bool usesMargins(TrimMode mode);

// Sets the fields the preset fixes: its trim mode, aspect flag and (for
// kStretch) the full-screen size, and the defaults of the margins, the frame
// rate, the pre-filter and the brightness correction. kManual changes nothing.
void applyPreset(ConversionJob& job, Preset preset);

// Applies the rule that automatic trimming keeps the aspect ratio.
void applyAutoTrimRule(ConversionJob& job);

// The option fields, which the presets fix and only the manual mode opens.
enum class OptionField {
  kTrimMode,
  kTrimMargins,
  kKeepAspect,
  kSize,
  kFrameRate,
  kPreFilter,
  kGammaEnabled,
  kGamma,
};
// Whether a field takes a value of its own as the other fields stand: the
// margins only with a trim mode that uses them, the size only without
// keepAspect, keepAspect only when the trim mode does not force it, the gamma
// value only while the correction is on.
bool fieldInEffect(const ConversionJob& job, OptionField field);

// What is wrong with a title for the cartridge header, as the end of a
// sentence about it ("holds a control character ..."); empty when it is fine.
// Checks the characters only; each front end checks the length in its units.
std::optional<std::string> titleProblem(std::string_view title);

}  // namespace zepra
