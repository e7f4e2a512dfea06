#pragma once
// The exit status of zepra-cli and the line of text that explains it. The
// job's result codes 2..7 keep their numbers; 999 and 1000..1003, which do
// not fit in an exit status, become 9 and 10..13.

#include <string>

namespace zepra::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;         // the command line or its files were refused
inline constexpr int kExitNotReplaced = 8;   // the output exists and was left alone
inline constexpr int kExitUnknownResult = 14;  // a result code this program does not know
inline constexpr int kExitCancelled = 130;   // the shell's status for a run ended by Ctrl-C

// The exit status for a job's result; a cancelled job counts as cancelled
// whatever its code.
int exitCodeForResult(int result, bool cancelled);

// What went wrong, in one line, for a failed job's result code.
std::string describeResult(int result);

}  // namespace zepra::cli
