/* The sound format shared by the converter and the console player: the
 * output rate and block size, and the tables of the 4-bit adaptive
 * differential code. Both programs take these values from this one header
 * (C99 and C++), so the encoder's predictions and the player's decoding
 * cannot drift apart.
 *
 * A code is a sign bit (8 = negative) and a 3-bit magnitude m. Applying a
 * code moves the 10-bit predictor by trunc(step x multiplier / 8), clamped to
 * [-512, 511], then moves the step index by its adjustment, clamped to
 * [0, 48]. */
#ifndef ZEPRA_FORMAT_ADPCM_TABLES_H
#define ZEPRA_FORMAT_ADPCM_TABLES_H

#include <stdint.h>

#define ZEPRA_AUDIO_SAMPLE_RATE 21024   /* Hz: 352 samples per display refresh */
#define ZEPRA_AUDIO_BLOCK_SAMPLES 352   /* one display refresh of sound */
#define ZEPRA_AUDIO_BLOCK_BYTES 176     /* two 4-bit codes per byte */
#define ZEPRA_ADPCM_STEP_COUNT 49
#define ZEPRA_ADPCM_CODE_COUNT 16
#define ZEPRA_ADPCM_PREDICTOR_MIN (-512)
#define ZEPRA_ADPCM_PREDICTOR_MAX 511

#ifdef __cplusplus
namespace zepra {
inline constexpr uint32_t kAudioSampleRate = ZEPRA_AUDIO_SAMPLE_RATE;
inline constexpr uint32_t kAudioBlockSamples = ZEPRA_AUDIO_BLOCK_SAMPLES;
inline constexpr uint32_t kAudioBlockBytes = ZEPRA_AUDIO_BLOCK_BYTES;
inline constexpr int kAdpcmStepCount = ZEPRA_ADPCM_STEP_COUNT;
inline constexpr int kAdpcmPredictorMin = ZEPRA_ADPCM_PREDICTOR_MIN;
inline constexpr int kAdpcmPredictorMax = ZEPRA_ADPCM_PREDICTOR_MAX;
#define ZEPRA_ADPCM_TABLE inline constexpr
#else
enum {
  kAudioSampleRate = ZEPRA_AUDIO_SAMPLE_RATE,
  kAudioBlockSamples = ZEPRA_AUDIO_BLOCK_SAMPLES,
  kAudioBlockBytes = ZEPRA_AUDIO_BLOCK_BYTES,
  kAdpcmStepCount = ZEPRA_ADPCM_STEP_COUNT,
  kAdpcmPredictorMin = ZEPRA_ADPCM_PREDICTOR_MIN,
  kAdpcmPredictorMax = ZEPRA_ADPCM_PREDICTOR_MAX
};
#define ZEPRA_ADPCM_TABLE static const
#endif

/* Step sizes, each about 1.1 times the one before. */
ZEPRA_ADPCM_TABLE int16_t kAdpcmStepTable[ZEPRA_ADPCM_STEP_COUNT] = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,  45,   50,   55,   60,   66,   73,
    80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209, 230,  253,  279,  307,  337,  371,
    408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};

/* Step index change by code: small magnitudes shrink the step, large ones grow it. */
ZEPRA_ADPCM_TABLE int8_t kAdpcmIndexAdjustment[ZEPRA_ADPCM_CODE_COUNT] = {
    -1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

/* Reconstruction multiplier by code: 2m + 1 with the code's sign. */
ZEPRA_ADPCM_TABLE int8_t kAdpcmMultiplier[ZEPRA_ADPCM_CODE_COUNT] = {
    1, 3, 5, 7, 9, 11, 13, 15, -1, -3, -5, -7, -9, -11, -13, -15};

#undef ZEPRA_ADPCM_TABLE

#ifdef __cplusplus
}  /* namespace zepra */
#endif

#endif /* ZEPRA_FORMAT_ADPCM_TABLES_H */
