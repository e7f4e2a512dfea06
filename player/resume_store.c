/* Positions in SRAM: ROM code, Thumb. */

#include "player/resume_store.h"

#include "format/resume_save.h"

#define SRAM ((volatile u8*)0x0E000000)

typedef struct {
  u32 magic;
  u32 sequence;
  u32 directoryHash;
  u32 count;
  PlayPosition positions[RESUME_STORE_MAX_VIDEOS];
} SaveData;

_Static_assert(sizeof(PlayPosition) == ZEPRA_SAVE_POSITION_BYTES, "a position as the save lays it out");
_Static_assert(__builtin_offsetof(SaveData, positions) == ZEPRA_SAVE_HEADER_BYTES, "the save's header");

/* In external work RAM, behind the back buffer: the copy that playing
 * updates and storePositions writes out. */
static SaveData saveData __attribute__((section(".ewram_noinit")));
/* The slot the next write goes to: never the one holding the latest whole save. */
static u32 nextSlot __attribute__((section(".ewram_noinit")));

static void readSram(u8* to, u32 at, u32 count) {
  for (u32 i = 0; i < count; ++i) to[i] = SRAM[at + i];
}

static void writeSram(u32 at, const u8* from, u32 count) {
  for (u32 i = 0; i < count; ++i) SRAM[at + i] = from[i];
}

/* Reads slot `slot` into saveData; whether it is whole and this directory's. */
static int readSlot(u32 slot, u32 directoryHash, u32 count) {
  u8* const raw = (u8*)&saveData;
  const u32 at = ZEPRA_SAVE_SLOT_AT(slot);
  readSram(raw, at, ZEPRA_SAVE_HEADER_BYTES);
  if (saveData.magic != ZEPRA_SAVE_MAGIC || saveData.directoryHash != directoryHash || saveData.count != count)
    return 0;
  const u32 hashed = ZEPRA_SAVE_HASHED_BYTES(count);
  u8 stored[4];
  readSram(raw + ZEPRA_SAVE_HEADER_BYTES, at + ZEPRA_SAVE_HEADER_BYTES, hashed - ZEPRA_SAVE_HEADER_BYTES);
  readSram(stored, at + hashed, 4);
  return zepraSaveHash(ZEPRA_SAVE_HASH_START, raw, hashed) ==
         (stored[0] | (u32)stored[1] << 8 | (u32)stored[2] << 16 | (u32)stored[3] << 24);
}

void loadPositions(u32 directoryHash, u32 count) {
  if (count > RESUME_STORE_MAX_VIDEOS) count = RESUME_STORE_MAX_VIDEOS;
  const int whole0 = readSlot(0, directoryHash, count);
  const u32 sequence0 = saveData.sequence;
  const int whole1 = readSlot(1, directoryHash, count);
  /* saveData holds slot 1 now: keep it when it is the later whole one. */
  if (whole1 && (!whole0 || zepraSaveIsLater(saveData.sequence, sequence0))) {
    nextSlot = 0;
    return;
  }
  if (whole0) {
    readSlot(0, directoryHash, count);
    nextSlot = 1;
    return;
  }
  u8* const raw = (u8*)&saveData;
  for (u32 i = 0; i < sizeof saveData; ++i) raw[i] = 0;
  saveData.magic = ZEPRA_SAVE_MAGIC;
  saveData.directoryHash = directoryHash;
  saveData.count = count;
  nextSlot = 0;
}

PlayPosition* videoPosition(u32 index) { return &saveData.positions[index]; }

void storePositions(void) {
  ++saveData.sequence;
  const u32 hashed = ZEPRA_SAVE_HASHED_BYTES(saveData.count);
  const u32 hash = zepraSaveHash(ZEPRA_SAVE_HASH_START, (const u8*)&saveData, hashed);
  const u8 stored[4] = {(u8)hash, (u8)(hash >> 8), (u8)(hash >> 16), (u8)(hash >> 24)};
  const u32 at = ZEPRA_SAVE_SLOT_AT(nextSlot);
  writeSram(at, (const u8*)&saveData, hashed);
  writeSram(at + hashed, stored, 4);
  nextSlot ^= 1;
}
