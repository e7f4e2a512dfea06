#ifndef ZEPRA_PLAYER_RESUME_STORE_H
#define ZEPRA_PLAYER_RESUME_STORE_H
/* Where each video of a cartridge's menu was left, kept in the cartridge's
 * battery-backed SRAM (32 KiB at 0x0E000000, on an 8-bit bus: byte reads and
 * writes only). The save belongs to one directory: positions written for
 * another cartridge, a blank or damaged save all read as "from the start".
 *
 * SRAM layout, little-endian: magic "ZSAV", the directory's hash, the
 * count, count positions (PlayPosition, 20 bytes each), and an FNV-1a hash
 * of everything before it. Runs from cartridge ROM. */

#include "player/playback.h"

#define RESUME_STORE_MAX_VIDEOS 64

/* A hash of `bytes` bytes (FNV-1a, 32 bits). */
u32 hashBytes(u32 hash, const u8* bytes, u32 count);
#define HASH_START 0x811C9DC5u

/* Reads the save; every position starts at frame 0 unless the save is
 * whole and was written for this directory and count. */
void loadPositions(u32 directoryHash, u32 count);
/* The position of video `index` (< count), to play from and to update. */
PlayPosition* videoPosition(u32 index);
/* Writes every position to the save. */
void storePositions(void);

#endif
