#pragma once
// The failure texts of the decoding graph. Whatever lastErrorText holds when a
// job fails is shown beneath the job's failure message, so each text is one
// line that names its cause.

#include <string>

namespace zepra {

// The video stream has no decoder here, or its pictures cannot be turned into
// 24-bit RGB.
inline constexpr const char* kUnsupportedVideoText =
    "The video of the input file is in a format that cannot be decoded.";
// The sound has no decoder here, or cannot be turned into 8- or 16-bit PCM
// that the encoder takes.
inline constexpr const char* kUnsupportedAudioText =
    "The sound of the input file is in a format that cannot be decoded.";
// The encoder refused the decoded video format or the job's settings.
inline constexpr const char* kVideoFormatRefusedText =
    "转换失败，源文件可能是未支持的格式，或是设置是不正确";
inline constexpr const char* kNoVideoStreamText = "The input file has no video stream.";
inline constexpr const char* kNoAudioStreamText =
    "The input file has no audio stream; only videos with sound can be converted.";
inline constexpr const char* kUnknownLengthText = "The length of the input file is unknown.";
inline constexpr const char* kUnknownFrameRateText =
    "The frame rate of the input file is unknown.";
inline constexpr const char* kTruncatedText =
    "The input file ends before its stated length; it is truncated or damaged.";
inline constexpr const char* kNoFrameDecodedText =
    "No picture of the input file could be decoded.";

// FFmpeg's description of an error code (av_strerror).
std::string errorText(int averror);

// Replaces lastErrorText with FFmpeg's description of an error code.
void recordErrorText(int averror);

}  // namespace zepra
