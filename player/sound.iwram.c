/* Sound output: ARM code in internal work RAM, run from the display-refresh
 * interrupt. */

#include "player/sound.h"

#define ZEPRA_SOUND_DECODE_DEFINITION
#include "player/sound_decode.h"

SoundState soundState;

/* The two buffers lie back to back, followed by a block of silence: at the
 * first refresh of a pass the sound FIFO's DMA reads up to one burst (16
 * bytes) beyond the buffer it was started on before the next refresh
 * restarts it. */
static s8 soundBuffers[2 * SOUND_BLOCK_SAMPLES + 16]
    __attribute__((section(".iwram_noinit"), aligned(4)));

void initSound(void) {
  REG_SOUNDBIAS = (REG_SOUNDBIAS & 0x3FFF) | SBIAS_RES_8BIT;
  REG_SOUNDCNT_X = SSTAT_ENABLE;
  soundState.playing = 0;
  soundState.firstRefresh = 1;
  REG_TM0CNT_H = 0;
  soundState.currentBuffer = soundBuffers;
  /* This buffer plays during the first refresh of the first pass. */
  for (u32 i = 0; i < sizeof soundBuffers; ++i) soundBuffers[i] = 0;
}

void startSound(const u8* blocks, u32 blockCount, s32 predictor, s32 stepIndex) {
  soundState.predictor = predictor;
  soundState.stepIndex = stepIndex;
  soundState.blockPointer = blocks;
  soundState.blocksLeft = blockCount;
  soundState.firstRefresh = 1;
  soundState.playing = blockCount != 0; /* no blocks, no sound */
}

void stopSound(void) {
  REG_TM0CNT_H = 0;
  REG_DMA1CNT_H = 0;
  soundState.playing = 0;
}

/* The DMA takes its source address only when it is switched on, so a new
 * buffer needs an off-on edge. */
static void startSoundDma(void) {
  REG_DMA1CNT_H = 0;
  REG_DMA1SAD = (u32)soundState.currentBuffer;
  REG_DMA1DAD = REG_FIFO_A_ADDRESS;
  REG_DMA1CNT_H = DMA_SOUND_FIFO;
}

void refillSound(void) {
  if (!soundState.playing) return;
  if (soundState.firstRefresh) {
    startSoundDma();
    REG_SOUNDCNT_H = SDS_PLAY_A_TIMER0;
    REG_FIFO_A = 0;
    REG_TM0CNT_L = SOUND_TIMER_RELOAD;
    REG_TM0CNT_H = TM_ENABLE;
    soundState.firstRefresh = 0;
  } else {
    if (--soundState.blocksLeft == 0) {
      stopSound();
      return;
    }
    startSoundDma();
  }
  /* The buffer that just finished playing is refilled for the next refresh. */
  soundState.currentBuffer = soundState.currentBuffer == soundBuffers
                                 ? soundBuffers + SOUND_BLOCK_SAMPLES
                                 : soundBuffers;
  decodeAdpcm(soundState.currentBuffer, soundState.blockPointer, SOUND_BLOCK_BYTES,
              &soundState.predictor, &soundState.stepIndex);
  soundState.blockPointer += SOUND_BLOCK_BYTES;
}
