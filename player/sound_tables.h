#ifndef ZEPRA_PLAYER_SOUND_TABLES_H
#define ZEPRA_PLAYER_SOUND_TABLES_H
/* The ADPCM update rule of the converter's audio encoder, unrolled into
 * tables by step index s (0 .. 48) so that decoding needs no multiplication.
 * Generated at build time from format/adpcm_tables.h (host/make_sound_tables). */

#include "format/adpcm_tables.h"
#include "player/types.h"

#define ADPCM_STEP_COUNT ZEPRA_ADPCM_STEP_COUNT /* 49 */

/* [s][code]: trunc(step[s] * multiplier[code] / 8). */
extern const s16 kLowNibbleDelta[ADPCM_STEP_COUNT][16];
/* [s][byte]: the same for the high nibble, with the step index the low nibble
 * leaves behind: s' = clamp(s + adjustment[byte & 15], 0, 48). */
extern const s16 kHighNibbleDelta[ADPCM_STEP_COUNT][256];
/* [s][byte]: clamp(s' + adjustment[byte >> 4], 0, 48). */
extern const u8 kNextStepIndex[ADPCM_STEP_COUNT][256];

#endif
