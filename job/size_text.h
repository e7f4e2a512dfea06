#pragma once
// Durations and sizes as the front ends and the job's messages write them.

#include <cstdint>
#include <cstdio>
#include <string>

namespace zepra {

// "6:32", or "1:02:03" from an hour on; whole seconds, rounded down.
inline std::string durationText(double seconds) {
  const long total = seconds > 0 ? static_cast<long>(seconds) : 0;
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

// "9.1 MiB", one decimal.
inline std::string mebibytesText(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace zepra
