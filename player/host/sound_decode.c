/* The player's sound decoding compiled for the host, with the tables the
 * player is built with: what the tests check is what the console runs. */
#include "player/sound_decode.h"

void decodeAdpcm(s8* samples, const u8* codes, u32 bytes, s32* predictor, s32* stepIndex) {
  decodeSoundBytes(samples, codes, bytes, predictor, stepIndex);
}
