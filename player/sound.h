#ifndef ZEPRA_PLAYER_SOUND_H
#define ZEPRA_PLAYER_SOUND_H
/* Sound output: one 176-byte ADPCM block of the stream's audio trailer is
 * decoded per display refresh into a double buffer that direct sound A plays
 * at 21024 samples per second, 352 samples per refresh. */

#include "format/adpcm_tables.h"
#include "player/hardware.h"

#define SOUND_BLOCK_SAMPLES ZEPRA_AUDIO_BLOCK_SAMPLES /* 352 */
#define SOUND_BLOCK_BYTES ZEPRA_AUDIO_BLOCK_BYTES     /* 176 */
/* The timer overflows every 16777216 / 21024 = 798 cycles (0xFCE2). */
#define SOUND_TIMER_RELOAD (0x10000 - kCpuClockHz / kAudioSampleRate)

typedef struct {
  s8* currentBuffer;     /* the buffer the hardware plays next */
  u32 playing;
  u32 firstRefresh;      /* the next refresh is the first of a pass */
  const u8* blockPointer;/* next encoded byte of the trailer */
  u32 blocksLeft;        /* blocks still to be started */
  s32 predictor;         /* -512 .. 511 */
  s32 stepIndex;         /* 0 .. 48 */
} SoundState;

extern SoundState soundState;

void initSound(void);
/* Starts the sound at `blocks` with the decoder in the given state (0, 0 at
 * a trailer's first block); blockCount as if these were a trailer's first. */
void startSound(const u8* blocks, u32 blockCount, s32 predictor, s32 stepIndex);
void stopSound(void);
/* Called once per display refresh (or directly while the movie runs fast):
 * starts the block decoded one refresh earlier and decodes the next. */
void refillSound(void);

#endif
