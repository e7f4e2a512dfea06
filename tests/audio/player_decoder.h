/* The console player's sound decoding, written in plain C for the tests:
 * three tables built from the shared step, multiplier and adjustment tables,
 * one look-up per nibble, exactly as the cartridge decodes each refresh. */
#ifndef ZEPRA_TESTS_AUDIO_PLAYER_DECODER_H
#define ZEPRA_TESTS_AUDIO_PLAYER_DECODER_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  int16_t lowNibbleDelta[49][16];
  int16_t highNibbleDelta[49][256];
  uint8_t nextStepIndex[49][256];
} PlayerSoundTables;

typedef struct {
  int16_t predictor;
  int8_t stepIndex;
} PlayerSoundState;

void buildPlayerSoundTables(PlayerSoundTables* tables);

/* Decodes count bytes into 2 x count predictors (10-bit), low nibble first.
 * The player plays each predictor shifted right by 2. */
void decodePlayerSound(const PlayerSoundTables* tables, PlayerSoundState* state,
                       const uint8_t* bytes, size_t count, int16_t* predictors);

#ifdef __cplusplus
}
#endif

#endif
