#pragma once
// The dialog's control ids. Every widget carries its id as its object name,
// so tests and accessibility tools find it by that number.

#include <array>

namespace zepra::ids {

inline constexpr int kProcess = 1;  // default button
inline constexpr int kExit = 2;     // "Exit", or " Cancel" while a job runs
inline constexpr int kInputEdit = 1001;
inline constexpr int kInputBrowse = 1002;
inline constexpr int kOutputEdit = 1003;
inline constexpr int kOutputBrowse = 1004;
inline constexpr int kRomTitle = 1005;
inline constexpr int kBitrate = 1006;
inline constexpr int kPresetNoTrim = 1007;  // first radio button of the preset group
inline constexpr int kPresetTrim = 1008;
inline constexpr int kPresetNoAspect = 1009;
inline constexpr int kPresetManual = 1010;
inline constexpr int kTrimBottom = 1011;
inline constexpr int kTrimTop = 1012;
inline constexpr int kTrimRight = 1013;
inline constexpr int kTrimLeft = 1014;
inline constexpr int kTrimBottomLabel = 1015;
inline constexpr int kTrimTopLabel = 1016;
inline constexpr int kTrimLeftLabel = 1017;
inline constexpr int kTrimRightLabel = 1018;
inline constexpr int kWidth = 1019;
inline constexpr int kHeight = 1020;
inline constexpr int kWidthLabel = 1021;
inline constexpr int kHeightLabel = 1022;
inline constexpr int kFrameRate = 1023;
inline constexpr int kPreFilter = 1024;
inline constexpr int kProgress = 1025;
inline constexpr int kLink = 1026;
inline constexpr int kTrimMode = 1027;
inline constexpr int kKeepAspect = 1028;
inline constexpr int kGammaCheck = 1029;
inline constexpr int kGamma = 1030;
// Size planning beside the bitrate.
inline constexpr int kFitTarget = 1041;    // the target cartridge size list
inline constexpr int kTwoPass = 1042;      // the "Two-pass" check box
inline constexpr int kEstimateLine = 1043; // the size estimate

// The controls that the option rules show, hide, enable and disable, in the
// order the rules visit them.
inline constexpr std::array<int, 18> kOptionControls = {
    kTrimMode,      kTrimBottom,    kTrimTop,        kTrimLeft,       kTrimRight, kTrimBottomLabel,
    kTrimTopLabel,  kTrimLeftLabel, kTrimRightLabel, kKeepAspect,     kWidth,     kHeight,
    kWidthLabel,    kHeightLabel,   kFrameRate,      kPreFilter,      kGammaCheck, kGamma};

// The controls disabled while a job runs, in the order they are disabled.
// Button 2 stays enabled: it becomes the cancel button.
inline constexpr std::array<int, 29> kJobControls = {
    kInputEdit,     kInputBrowse,   kOutputEdit,   kOutputBrowse,    kRomTitle,     kBitrate,
    kPresetNoTrim,  kPresetTrim,    kPresetNoAspect, kPresetManual,  kTrimMode,     kTrimBottom,
    kTrimTop,       kTrimLeft,      kTrimRight,    kTrimBottomLabel, kTrimTopLabel, kTrimLeftLabel,
    kTrimRightLabel, kKeepAspect,   kWidth,        kHeight,          kWidthLabel,   kHeightLabel,
    kFrameRate,     kPreFilter,     kGammaCheck,   kGamma,           kProcess};

}  // namespace zepra::ids
