#ifndef ZEPRA_PLAYER_MENU_H
#define ZEPRA_PLAYER_MENU_H
/* The menu of a cartridge with several videos: lists the videos of the
 * directory with their durations, moves the selection with Up and Down
 * (held, they repeat), plays the chosen video with A (resuming where it was
 * left) or B (from its start), and comes back when the video ends (with the
 * next one selected) or when Start is released alone. Runs from cartridge
 * ROM in Thumb state. */

#include "player/hardware.h"

typedef struct {
  u32 count;     /* videos listed: the directory's valid entries */
  u32 selection; /* the chosen line, 0 .. count - 1 */
  u32 top;       /* the first line shown */
} MenuState;

extern MenuState menuState;

/* Shows the menu of the directory at `directory` (behind the player image);
 * never returns. A directory with nothing valid in it leaves the screen
 * black. */
void runMenu(const u8* directory) __attribute__((noreturn));

#endif
