/* The console's screen and its timing (C11 and C++20): the 240 x 160 bitmap
 * every picture is centred in, and the display refresh that paces the movie
 * and the sound. */
#ifndef ZEPRA_FORMAT_SCREEN_H
#define ZEPRA_FORMAT_SCREEN_H

#define ZEPRA_SCREEN_WIDTH 240
#define ZEPRA_SCREEN_HEIGHT 160
#define ZEPRA_CPU_CLOCK_HZ 16777216
/* One refresh: 228 lines of 1232 cycles, 59.7275 refreshes per second. */
#define ZEPRA_CYCLES_PER_REFRESH 280896
/* The refresh rate a stream's playbackStep is computed with. It is the
 * hardware's rate cut to three decimals; every stream written so far uses
 * it, so it stays as it is. */
#define ZEPRA_REFRESH_RATE 59.727

/* Assembly and the linker script take the #defines only. */
#if defined(__cplusplus)
namespace zepra {
inline constexpr int kScreenWidth = ZEPRA_SCREEN_WIDTH;
inline constexpr int kScreenHeight = ZEPRA_SCREEN_HEIGHT;
inline constexpr int kCpuClockHz = ZEPRA_CPU_CLOCK_HZ;
inline constexpr int kCyclesPerRefresh = ZEPRA_CYCLES_PER_REFRESH;
inline constexpr double kRefreshRate = ZEPRA_REFRESH_RATE;
/* What the console really does, for tools that count refreshes in seconds. */
inline constexpr double kHardwareRefreshRate = static_cast<double>(kCpuClockHz) / kCyclesPerRefresh;
}  /* namespace zepra */
#elif !defined(__ASSEMBLER__)
enum {
  kScreenWidth = ZEPRA_SCREEN_WIDTH,
  kScreenHeight = ZEPRA_SCREEN_HEIGHT,
  kCpuClockHz = ZEPRA_CPU_CLOCK_HZ,
  kCyclesPerRefresh = ZEPRA_CYCLES_PER_REFRESH
};
#endif

#endif /* ZEPRA_FORMAT_SCREEN_H */
