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

/* Plays the stream at `stream`. Returns 1 when the user asked for a restart
 * (B released), 0 when the movie ended and `repeat` is 0; with `repeat` 1 the
 * movie starts again after its end instead. A stream whose header cannot
 * describe a movie leaves the screen black and the player waiting. */
int playStream(const u8* stream, int repeat);

/* The display-refresh handler while a movie plays: refills the sound,
 * advances the clock, and performs a requested reset to the cartridge menu. */
void onDisplayRefresh(void);

#endif
