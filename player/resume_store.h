#ifndef ZEPRA_PLAYER_RESUME_STORE_H
#define ZEPRA_PLAYER_RESUME_STORE_H
/* Where each video of a cartridge's menu was left, kept in the cartridge's
 * battery-backed SRAM (32 KiB at 0x0E000000, on an 8-bit bus: byte reads and
 * writes only) in two slots written in turn (format/resume_save.h). The save
 * belongs to one directory: positions written for another cartridge, a blank
 * or damaged save all read as "from the start", and a write cut off by a
 * power failure loses only the positions it was writing. Runs from
 * cartridge ROM. */

#include "player/playback.h"

#define RESUME_STORE_MAX_VIDEOS 64

/* Reads the save: the later whole slot written for this directory and
 * count; every position starts at frame 0 when there is none. */
void loadPositions(u32 directoryHash, u32 count);
/* The position of video `index` (< count), to play from and to update. */
PlayPosition* videoPosition(u32 index);
/* Writes every position to the slot that does not hold the latest whole
 * save, so that the latest stays whole until this write is. */
void storePositions(void);

#endif
