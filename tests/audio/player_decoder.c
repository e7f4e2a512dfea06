#include "tests/audio/player_decoder.h"

#include "format/adpcm_tables.h"

static int clampInt(int value, int low, int high) {
  return value < low ? low : value > high ? high : value;
}

/* C division truncates toward zero. */
static int16_t delta(int stepIndex, int code) {
  return (int16_t)(kAdpcmStepTable[stepIndex] * kAdpcmMultiplier[code] / 8);
}

void buildPlayerSoundTables(PlayerSoundTables* tables) {
  for (int s = 0; s < kAdpcmStepCount; ++s) {
    for (int x = 0; x < 16; ++x) tables->lowNibbleDelta[s][x] = delta(s, x);
    for (int x = 0; x < 256; ++x) {
      const int afterLow = clampInt(s + kAdpcmIndexAdjustment[x & 15], 0, kAdpcmStepCount - 1);
      tables->highNibbleDelta[s][x] = delta(afterLow, x >> 4);
      tables->nextStepIndex[s][x] =
          (uint8_t)clampInt(afterLow + kAdpcmIndexAdjustment[x >> 4], 0, kAdpcmStepCount - 1);
    }
  }
}

void decodePlayerSound(const PlayerSoundTables* tables, PlayerSoundState* state,
                       const uint8_t* bytes, size_t count, int16_t* predictors) {
  for (size_t i = 0; i < count; ++i) {
    const uint8_t x = bytes[i];
    const int s = state->stepIndex;
    int16_t p = (int16_t)(state->predictor + tables->lowNibbleDelta[s][x & 15]);
    p = (int16_t)clampInt(p, kAdpcmPredictorMin, kAdpcmPredictorMax);
    predictors[2 * i] = p;
    p = (int16_t)(p + tables->highNibbleDelta[s][x]);
    p = (int16_t)clampInt(p, kAdpcmPredictorMin, kAdpcmPredictorMax);
    predictors[2 * i + 1] = p;
    state->predictor = p;
    state->stepIndex = (int8_t)tables->nextStepIndex[s][x];
  }
}
