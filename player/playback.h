#ifndef ZEPRA_PLAYER_PLAYBACK_H
#define ZEPRA_PLAYER_PLAYBACK_H
/* The playback loop: plays a stream in real time, keeps the picture and the
 * sound in step with the display refresh, and reacts to the keys. */

#include "player/hardware.h"

typedef void (*IrqHandler)(void);

/* One entry per interrupt source, display refresh first (irq_dispatch.iwram.s). */
extern IrqHandler irqHandlers[IRQ_SOURCE_COUNT];
void irqDispatch(void);
void emptyHandler(void);

/* Frames due, advanced at every display refresh. */
typedef struct {
  u32 step;        /* stream frames per refresh, 16.16 */
  u32 accumulator; /* frames due, 16.16 */
  u32 resetRequested;
} PlaybackClock;

extern volatile PlaybackClock playbackClock;

/* Entry after start-up (Thumb, ROM); never returns. */
void playerMain(void) __attribute__((noreturn));

/* Where a video stands, enough to go on from there after a power cycle: the
 * clock and the sound decoder as they were when `frame` was next. */
typedef struct {
  u32 frame;       /* the next frame to show; 0 is the start */
  u32 accumulator; /* the clock: frames due, 16.16 */
  u32 block;       /* the next sound block to decode */
  s32 predictor;   /* the sound decoder's state before that block */
  s32 stepIndex;
} PlayPosition;

/* The start of the video. (Field by field: a struct of zeros would call
 * memset, which the player does not link.) */
static inline void clearPosition(PlayPosition* p) {
  p->frame = p->accumulator = p->block = 0;
  p->predictor = p->stepIndex = 0;
}

typedef struct {
  int repeat;            /* play again after the end instead of returning */
  int startReturns;      /* releasing Start alone ends the playing (a cartridge's menu) */
  PlayPosition* position;/* 0, or where to start; kept up to date while playing */
  void (*keepPosition)(void); /* called every few seconds of playing, with *position current */
} PlayRequest;

enum {
  PLAY_ENDED = 0,   /* the movie ended (repeat 0) */
  PLAY_RESTART = 1, /* B released: the user asked for the start */
  PLAY_MENU = 2     /* Start released: the user asked for the menu */
};

/* Plays the stream at `stream` as the request says and returns why it
 * stopped. A position that does not fit the stream is ignored: the movie
 * starts from its first frame. A stream whose header cannot describe a
 * movie leaves the screen black and the player waiting. */
int playStream(const u8* stream, const PlayRequest* request);

/* Leaves the player for the flash cartridge's menu; never returns. */
void resetCartridge(void) __attribute__((noreturn));

/* The display-refresh handler while a movie plays: refills the sound,
 * advances the clock, and performs a requested reset to the cartridge menu. */
void onDisplayRefresh(void);

#endif
