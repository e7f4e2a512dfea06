/* Cinepak decoding: ARM code in internal work RAM. Codebook entries are
 * converted to pixels once, when they are loaded, so drawing a block is plain
 * copying of pixel pairs. */

#include "player/picture.h"

#include "format/cinepak.h"

#define ROW_WORDS (kScreenWidth / 2) /* one back-buffer row in words */

typedef struct {
  u32 top;    /* p0 | p1 << 16 */
  u32 bottom; /* p2 | p3 << 16 */
} CodebookEntry;

/* The codebooks live in internal work RAM: every drawn block reads two to
 * eight of their words, and this memory's 32-bit bus is what lets a frame of
 * 2400 V4 blocks decode within a 30 fps frame's time. */
static CodebookEntry v4Codebook[kCodebookSize] __attribute__((section(".iwram_noinit")));
static CodebookEntry v1Codebook[kCodebookSize] __attribute__((section(".iwram_noinit")));

PictureState pictureState;

/* Indices -64 .. 63: 0 below 0, the index itself up to 31, 31 above. Covers
 * every (Y + chroma) >> 3 a colour entry can produce. */
static u8 clampStorage[128] __attribute__((section(".iwram_noinit"), aligned(4)));

void setUpPicture(u32 sizeWord) {
  dma3Fill32(MEM_BACK_BUFFER, &pictureState.fillWord, SCREEN_WORDS);
  pictureState.width = sizeWord & 0xFFFF;
  pictureState.height = sizeWord >> 16;
  pictureState.origin =
      (u32*)(MEM_BACK_BUFFER + (kScreenHeight - pictureState.height) * kScreenWidth +
             kScreenWidth - pictureState.width);
  if (pictureState.clampTable == 0) {
    for (int i = -64; i < 64; ++i) clampStorage[i + 64] = i < 0 ? 0 : i > 31 ? 31 : i;
    pictureState.clampTable = (const s8*)clampStorage + 64;
  }
}

static inline u32 colourPixel(const u8* c, int y, int red, int green, int blue) {
  return (u32)c[(y + red) >> 3] | (u32)c[(y - green) >> 3] << 5 | (u32)c[(y + blue) >> 3] << 10;
}

/* Reads one colour entry (Y0 Y1 Y2 Y3 U V) or grey entry (Y0 Y1 Y2 Y3) at
 * `source`, writes its four pixels to `destination`, returns the next entry.
 * Straight-line: a full codebook load converts 256 entries per frame. */
static inline __attribute__((always_inline)) const u8* convertEntry(CodebookEntry* destination,
                                                                    const u8* source, int grey) {
  if (grey) {
    destination->top = (u32)(source[0] >> 3) * 0x421 | (u32)(source[1] >> 3) * 0x421 << 16;
    destination->bottom = (u32)(source[2] >> 3) * 0x421 | (u32)(source[3] >> 3) * 0x421 << 16;
    return source + 4;
  }
  const u8* c = (const u8*)pictureState.clampTable;
  const int u = (s8)source[4], v = (s8)source[5];
  const int red = 2 * v, green = v + ((u + 1) >> 1), blue = 2 * u;
  destination->top = colourPixel(c, source[0], red, green, blue) |
                     colourPixel(c, source[1], red, green, blue) << 16;
  destination->bottom = colourPixel(c, source[2], red, green, blue) |
                        colourPixel(c, source[3], red, green, blue) << 16;
  return source + 6;
}

/* A big-endian flag word; its bits are used from the top down. */
static inline u32 readFlags(const u8* p) {
  return (u32)p[0] << 24 | (u32)p[1] << 16 | (u32)p[2] << 8 | p[3];
}

/* Loads entries 0, 1, 2 ... from a payload of n bytes. */
static void loadCodebook(CodebookEntry* codebook, const u8* p, int n, int grey) {
  const int entryBytes = grey ? 4 : 6;
  for (int i = 0; i < kCodebookSize && n >= entryBytes; ++i, n -= entryBytes)
    p = convertEntry(codebook + i, p, grey);
}

/* Replaces the entries whose flag bit is set. */
static void updateCodebook(CodebookEntry* codebook, const u8* p, int n, int grey) {
  const int entryBytes = grey ? 4 : 6;
  int i = 0;
  while (n > 0 && i < kCodebookSize) {
    u32 flags = readFlags(p);
    p += 4;
    n -= 4;
    for (int bit = 0; bit < 32 && i < kCodebookSize; ++bit, ++i, flags <<= 1) {
      if (flags & 0x80000000u) {
        p = convertEntry(codebook + i, p, grey);
        n -= entryBytes;
      }
    }
  }
}

/* Where the next 4x4 block goes: blocks run left to right, top to bottom. */
typedef struct {
  u32* block;      /* top-left pixel pair of the block */
  u32* rowEnd;     /* first pair behind the current block row */
  u32* pictureEnd; /* where `block` lands after the last block row */
  u32 rowWords;    /* picture width in pixel pairs */
} BlockCursor;

static inline int cursorInside(const BlockCursor* at) { return at->block < at->pictureEnd; }

static inline void advance(BlockCursor* at) {
  at->block += 2;
  if (at->block == at->rowEnd) {
    at->block += 4 * ROW_WORDS - at->rowWords;
    at->rowEnd += 4 * ROW_WORDS;
  }
}

/* Drawing looks up the block's indices, reads each codebook entry as a
 * register pair (one paired load) and stores pixel pairs row by row. r0-r3
 * are scratch: a pair must land in ascending registers, which the compiler
 * cannot be told, and few operands leave it registers for the loop. The
 * codebook read is declared; the back buffer written is not, since nothing
 * in this unit reads it (the playback loop copies it after decoding
 * returns), and leaving it out keeps the block cursor in registers. */
static inline void drawV1(u32* d, const u8* index, const CodebookEntry* book) {
  __asm__ volatile(
      "ldrb r0, [%[i]]\n\t"
      "add r0, %[book], r0, lsl #3\n\t"
      "ldmia r0, {r0, r1}\n\t"
      "mov r2, r0, lsl #16\n\t"
      "orr r2, r2, r2, lsr #16\n\t" /* p0 p0 */
      "mov r3, r0, lsr #16\n\t"
      "orr r3, r3, r3, lsl #16\n\t" /* p1 p1 */
      "str r2, [%[d]]\n\t"
      "str r3, [%[d], #4]\n\t"
      "str r2, [%[d], #480]\n\t"
      "str r3, [%[d], #484]\n\t"
      "mov r2, r1, lsl #16\n\t"
      "orr r2, r2, r2, lsr #16\n\t" /* p2 p2 */
      "mov r3, r1, lsr #16\n\t"
      "orr r3, r3, r3, lsl #16\n\t" /* p3 p3 */
      "str r2, [%[d], #960]\n\t"
      "str r3, [%[d], #964]\n\t"
      "str r2, [%[d], #1440]\n\t"
      "str r3, [%[d], #1444]"
      :
      : [d] "r"(d), [i] "r"(index), [book] "r"(book), "m"(*(const u8(*)[1])index),
        "m"(*(const CodebookEntry(*)[kCodebookSize])book)
      : "r0", "r1", "r2", "r3");
}

/* Four V4 indices: rows 0-1 from the first two entries, rows 2-3 from the
 * last two. */
static inline void drawV4(u32* d, const u8* index, const CodebookEntry* book) {
  __asm__ volatile(
      "ldrb r0, [%[i]]\n\t"
      "ldrb r2, [%[i], #1]\n\t"
      "add r0, %[book], r0, lsl #3\n\t"
      "add r2, %[book], r2, lsl #3\n\t"
      "ldmia r0, {r0, r1}\n\t"
      "ldmia r2, {r2, r3}\n\t"
      "str r0, [%[d]]\n\t"
      "str r2, [%[d], #4]\n\t"
      "str r1, [%[d], #480]\n\t"
      "str r3, [%[d], #484]\n\t"
      "ldrb r0, [%[i], #2]\n\t"
      "ldrb r2, [%[i], #3]\n\t"
      "add r0, %[book], r0, lsl #3\n\t"
      "add r2, %[book], r2, lsl #3\n\t"
      "ldmia r0, {r0, r1}\n\t"
      "ldmia r2, {r2, r3}\n\t"
      "str r0, [%[d], #960]\n\t"
      "str r2, [%[d], #964]\n\t"
      "str r1, [%[d], #1440]\n\t"
      "str r3, [%[d], #1444]"
      :
      : [d] "r"(d), [i] "r"(index), [book] "r"(book), "m"(*(const u8(*)[4])index),
        "m"(*(const CodebookEntry(*)[kCodebookSize])book)
      : "r0", "r1", "r2", "r3");
}

/* The codebooks' addresses as variables: kept in registers through a loop
 * rather than reloaded from the literal pool for every block. */
#define CODEBOOK_BASES(v4, v1)              \
  const CodebookEntry* v4 = v4Codebook;    \
  const CodebookEntry* v1 = v1Codebook;    \
  __asm__("" : "+r"(v4), "+r"(v1))

/* One coded block: four V4 indices or one V1 index. Returns the byte after
 * them and takes their count from the chunk's remaining payload n. Inlined so
 * both vector loops keep their registers. */
static inline __attribute__((always_inline)) const u8* drawCodedBlock(
    u32* block, const u8* p, int* n, u32 useV4, const CodebookEntry* v4, const CodebookEntry* v1) {
  if (useV4) {
    drawV4(block, p, v4);
    *n -= 4;
    return p + 4;
  }
  drawV1(block, p, v1);
  *n -= 1;
  return p + 1;
}

/* 0x30: every block drawn; a flag bit chooses four V4 indices (1) or one V1
 * index (0). */
static void drawIntraBlocks(BlockCursor* at, const u8* p, int n) {
  CODEBOOK_BASES(v4, v1);
  while (n > 0 && cursorInside(at)) {
    u32 flags = readFlags(p);
    p += 4;
    n -= 4;
    for (int bit = 0; bit < 32 && cursorInside(at); ++bit, flags <<= 1) {
      p = drawCodedBlock(at->block, p, &n, flags & 0x80000000u, v4, v1);
      advance(at);
    }
  }
}

/* 0x31: a 0 bit keeps the block; a 1 bit is followed by a bit choosing V4 (1)
 * or V1 (0). The second bit may come from the next flag word. */
static void drawInterBlocks(BlockCursor* at, const u8* p, int n) {
  CODEBOOK_BASES(v4, v1);
  while (n > 0 && cursorInside(at)) {
    u32 flags = readFlags(p);
    p += 4;
    n -= 4;
    int bitsLeft = 32;
    while (bitsLeft > 0 && cursorInside(at)) {
      const u32 update = flags & 0x80000000u;
      flags <<= 1;
      --bitsLeft;
      if (update) {
        if (bitsLeft == 0) {
          if (n < 0) return;
          flags = readFlags(p);
          p += 4;
          n -= 4;
          bitsLeft = 32;
        }
        p = drawCodedBlock(at->block, p, &n, flags & 0x80000000u, v4, v1);
        flags <<= 1;
        --bitsLeft;
      }
      advance(at);
    }
  }
}

/* 0x32: one V1 index per block. */
static void drawV1Blocks(BlockCursor* at, const u8* p, int n) {
  CODEBOOK_BASES(v4, v1);
  (void)v4;
  for (; n > 0 && cursorInside(at); --n, advance(at)) drawV1(at->block, p++, v1);
}

/* A record is decoded from a copy in internal work RAM when it fits: its
 * bytes are then read at a third of the cost of cartridge reads, which pays
 * for the DMA copy several times over. The largest record of a 240x160
 * picture (both codebooks in full, every block V4) is about 13.3 KB. */
#define RECORD_COPY_BYTES 16384
static u32 recordCopy[RECORD_COPY_BYTES / 4] __attribute__((section(".iwram_noinit")));

const u8* decodeFrameRecord(const u8* record) {
  const u32 length = readLe16(record);
  int remaining = (int)length - 4;
  /* 32-bit DMA needs aligned addresses: copy from the word the record starts in. */
  const u32 skew = (u32)record & 3;
  const u8* chunk = record + 4;
  if (length + skew <= RECORD_COPY_BYTES) {
    dma3Copy32((u32)recordCopy, (const void*)((u32)record - skew), (length + skew + 3) / 4);
    chunk = (const u8*)recordCopy + skew + 4;
  }
  BlockCursor at;
  at.rowWords = pictureState.width / 2;
  at.block = pictureState.origin;
  at.rowEnd = at.block + at.rowWords;
  at.pictureEnd = at.block + pictureState.height * ROW_WORDS;

  while (remaining >= 1) {
    const u32 type = chunk[0], size = (u32)chunk[2] << 8 | chunk[3];
    /* A chunk shorter than its own header cannot be walked over. */
    if (size < 4) break;
    remaining -= (int)size;
    const u8* payload = chunk + 4;
    const int n = (int)size - 4;
    if (chunk[1] == 0) {
      switch (type) {
        case kChunkV4Codebook: loadCodebook(v4Codebook, payload, n, 0); break;
        case kChunkV4CodebookPartial: updateCodebook(v4Codebook, payload, n, 0); break;
        case kChunkV1Codebook: loadCodebook(v1Codebook, payload, n, 0); break;
        case kChunkV1CodebookPartial: updateCodebook(v1Codebook, payload, n, 0); break;
        case kChunkV4CodebookGrey: loadCodebook(v4Codebook, payload, n, 1); break;
        case kChunkV4CodebookGreyPartial: updateCodebook(v4Codebook, payload, n, 1); break;
        case kChunkV1CodebookGrey: loadCodebook(v1Codebook, payload, n, 1); break;
        case kChunkV1CodebookGreyPartial: updateCodebook(v1Codebook, payload, n, 1); break;
        case kChunkIntraVectors: drawIntraBlocks(&at, payload, n); break;
        case kChunkInterVectors: drawInterBlocks(&at, payload, n); break;
        case kChunkV1Vectors: drawV1Blocks(&at, payload, n); break;
        default: break; /* not ours: skipped */
      }
    }
    chunk += size;
  }
  return record + length;
}
