/* Positions in SRAM: ROM code, Thumb. */

#include "player/resume_store.h"

#define SRAM ((volatile u8*)0x0E000000)
#define SAVE_MAGIC 0x5641535Au /* "ZSAV" */

typedef struct {
  u32 magic;
  u32 directoryHash;
  u32 count;
  PlayPosition positions[RESUME_STORE_MAX_VIDEOS];
} SaveData;

/* In external work RAM, behind the back buffer: the copy that playing
 * updates and storePositions writes out. */
static SaveData saveData __attribute__((section(".ewram_noinit")));

u32 hashBytes(u32 hash, const u8* bytes, u32 count) {
  for (u32 i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 0x01000193u;
  return hash;
}

static u32 usedBytes(u32 count) { return 12 + count * sizeof(PlayPosition); }

static void readSram(u8* to, u32 at, u32 count) {
  for (u32 i = 0; i < count; ++i) to[i] = SRAM[at + i];
}

static void writeSram(u32 at, const u8* from, u32 count) {
  for (u32 i = 0; i < count; ++i) SRAM[at + i] = from[i];
}

void loadPositions(u32 directoryHash, u32 count) {
  if (count > RESUME_STORE_MAX_VIDEOS) count = RESUME_STORE_MAX_VIDEOS;
  u8* const raw = (u8*)&saveData;
  readSram(raw, 0, 12);
  int whole = saveData.magic == SAVE_MAGIC && saveData.directoryHash == directoryHash &&
              saveData.count == count;
  if (whole) {
    u8 stored[4];
    readSram(raw + 12, 12, count * sizeof(PlayPosition));
    readSram(stored, usedBytes(count), 4);
    whole = hashBytes(HASH_START, raw, usedBytes(count)) ==
            (stored[0] | (u32)stored[1] << 8 | (u32)stored[2] << 16 | (u32)stored[3] << 24);
  }
  if (!whole) {
    for (u32 i = 0; i < sizeof saveData; ++i) raw[i] = 0;
    saveData.magic = SAVE_MAGIC;
    saveData.directoryHash = directoryHash;
    saveData.count = count;
  }
}

PlayPosition* videoPosition(u32 index) { return &saveData.positions[index]; }

void storePositions(void) {
  const u32 bytes = usedBytes(saveData.count);
  const u32 hash = hashBytes(HASH_START, (const u8*)&saveData, bytes);
  const u8 stored[4] = {(u8)hash, (u8)(hash >> 8), (u8)(hash >> 16), (u8)(hash >> 24)};
  writeSram(0, (const u8*)&saveData, bytes);
  writeSram(bytes, stored, 4);
}
