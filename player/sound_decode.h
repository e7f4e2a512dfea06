#ifndef ZEPRA_PLAYER_SOUND_DECODE_H
#define ZEPRA_PLAYER_SOUND_DECODE_H
/* Decoding of the stream's 4-bit ADPCM sound into the signed 8-bit samples
 * the sound hardware plays. It uses nothing of the console but the generated
 * tables, so that the host's tests compile and check this very code.
 *
 * The definition is compiled where it is included, exactly once in a
 * program: by sound.iwram.c on the console (so that the refresh handler can
 * inline it), by host/sound_decode.c for the tests. */

#include "player/sound_tables.h"
#include "player/types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Decodes `bytes` ADPCM bytes (low nibble first) into 2 x `bytes` samples,
 * each the 10-bit predictor shifted right by 2, advancing *predictor and
 * *stepIndex. */
void decodeAdpcm(s8* samples, const u8* codes, u32 bytes, s32* predictor, s32* stepIndex);

#ifdef ZEPRA_SOUND_DECODE_DEFINITION
static inline s32 clampSample(s32 p) { return p < -512 ? -512 : p > 511 ? 511 : p; }

void decodeAdpcm(s8* samples, const u8* codes, u32 bytes, s32* predictor, s32* stepIndex) {
  s32 p = *predictor, s = *stepIndex;
  for (u32 i = 0; i < bytes; ++i) {
    const u32 x = codes[i];
    /* |predictor| <= 512 and |delta| <= 2910: the sums fit 16 bits as they are. */
    p = clampSample(p + kLowNibbleDelta[s][x & 15]);
    *samples++ = (s8)(p >> 2);
    p = clampSample(p + kHighNibbleDelta[s][x]);
    *samples++ = (s8)(p >> 2);
    s = kNextStepIndex[s][x];
  }
  *predictor = p;
  *stepIndex = s;
}
#endif

#ifdef __cplusplus
}
#endif

#endif
