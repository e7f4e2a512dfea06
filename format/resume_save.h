/* Where a cartridge of several videos keeps each video's position: its
 * battery-backed SRAM (C11 and C++20). The console reaches SRAM one byte at a
 * time, and power may fail in the middle of a write, so the save has two
 * slots that are written in turn: a cut-off write spoils only the slot it
 * was writing, and the other still holds the positions of the write before.
 *
 *   slot     at ZEPRA_SAVE_SLOT_AT(0) and ZEPRA_SAVE_SLOT_AT(1), all
 *            integers little-endian
 *     0  magic      "ZSV2" (0x3256535A as a word)
 *     4  sequence   u32, one more than the slot written before it (modulo
 *                   2^32): of two whole slots the later one counts
 *     8  directory  u32, zepraSaveHash of the cartridge's directory (header
 *                   and entries): a save made for another cartridge is not
 *                   this one's
 *    12  count      u32, the directory's count
 *    16  positions  count times ZEPRA_SAVE_POSITION_BYTES (the player's
 *                   PlayPosition: frame, clock, sound block, sound decoder
 *                   predictor and step index, five 32-bit words)
 *    16 + 20 count  u32, zepraSaveHash of every byte before it
 *
 * A slot is whole when its magic, directory, count and hash all match. A
 * blank (0xFF) or zeroed SRAM has no whole slot, and neither has a save of
 * an earlier layout (magic "ZSAV"): every video then starts from its
 * beginning. */
#ifndef ZEPRA_FORMAT_RESUME_SAVE_H
#define ZEPRA_FORMAT_RESUME_SAVE_H

#include "format/directory.h"

#define ZEPRA_SAVE_MAGIC 0x3256535Au /* "ZSV2" */
#define ZEPRA_SAVE_SLOT_BYTES 0x1000u
#define ZEPRA_SAVE_SLOT_AT(slot) ((slot) * ZEPRA_SAVE_SLOT_BYTES)
#define ZEPRA_SAVE_HEADER_BYTES 16u
#define ZEPRA_SAVE_POSITION_BYTES 20u
#define ZEPRA_SAVE_SEQUENCE_AT 4u
/* Bytes covered by a slot's hash; the hash follows them. */
#define ZEPRA_SAVE_HASHED_BYTES(count) (ZEPRA_SAVE_HEADER_BYTES + (count) * ZEPRA_SAVE_POSITION_BYTES)
#define ZEPRA_SAVE_HASH_START 0x811C9DC5u

/* FNV-1a, 32 bits, continued from `hash`. */
static inline unsigned zepraSaveHash(unsigned hash, const unsigned char* bytes, unsigned count) {
  for (unsigned i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x01000193u;
  return hash;
}

/* Whether sequence a was written after b, across the wrap from 2^32 - 1 to 0. */
static inline int zepraSaveIsLater(unsigned a, unsigned b) { return a - b - 1u < 0x7FFFFFFFu; }

#if defined(__cplusplus)
static_assert(ZEPRA_SAVE_HASHED_BYTES(ZEPRA_DIRECTORY_MAX_ENTRIES) + 4 <= ZEPRA_SAVE_SLOT_BYTES, "a slot holds every position");
#else
_Static_assert(ZEPRA_SAVE_HASHED_BYTES(ZEPRA_DIRECTORY_MAX_ENTRIES) + 4 <= ZEPRA_SAVE_SLOT_BYTES, "a slot holds every position");
#endif

#endif /* ZEPRA_FORMAT_RESUME_SAVE_H */
