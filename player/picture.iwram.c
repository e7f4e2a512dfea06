/* Cinepak decoding: ARM code in internal work RAM. Codebook entries are
 * converted to pixels once, when they are loaded, so drawing a block is plain
 * copying of pixel pairs. */

#include "player/picture.h"

#define ROW_WORDS (SCREEN_WIDTH / 2) /* one back-buffer row in words */
#define CODEBOOK_ENTRIES 256

typedef struct {
  u32 top;    /* p0 | p1 << 16 */
  u32 bottom; /* p2 | p3 << 16 */
} CodebookEntry;

#define V4_CODEBOOK ((CodebookEntry*)V4_CODEBOOK_ADDRESS)
#define V1_CODEBOOK ((CodebookEntry*)V1_CODEBOOK_ADDRESS)

PictureState pictureState;

/* Indices -64 .. 63: 0 below 0, the index itself up to 31, 31 above. Covers
 * every (Y + chroma) >> 3 a colour entry can produce. */
static s8 clampStorage[128] __attribute__((section(".iwram_noinit"), aligned(4)));

void setUpPicture(u32 sizeWord) {
  dma3Fill32(MEM_BACK_BUFFER, &pictureState.fillWord, SCREEN_WORDS);
  pictureState.width = sizeWord & 0xFFFF;
  pictureState.height = sizeWord >> 16;
  pictureState.origin =
      (u32*)(MEM_BACK_BUFFER + (SCREEN_HEIGHT - pictureState.height) * SCREEN_WIDTH +
             SCREEN_WIDTH - pictureState.width);
  if (pictureState.clampTable == 0) {
    for (int i = -64; i < 64; ++i) clampStorage[i + 64] = i < 0 ? 0 : i > 31 ? 31 : i;
    pictureState.clampTable = clampStorage + 64;
  }
}

/* Reads one colour entry (Y0 Y1 Y2 Y3 U V) or grey entry (Y0 Y1 Y2 Y3) at
 * `source`, writes its four pixels to `destination`, returns the next entry. */
static const u8* convertEntry(CodebookEntry* destination, const u8* source, int grey) {
  u32 pixel[4];
  if (grey) {
    for (int i = 0; i < 4; ++i) pixel[i] = (u32)(source[i] >> 3) * 0x421;
    source += 4;
  } else {
    const s8* c = pictureState.clampTable;
    const int u = (s8)source[4], v = (s8)source[5];
    const int red = 2 * v, green = v + ((u + 1) >> 1), blue = 2 * u;
    for (int i = 0; i < 4; ++i) {
      const int y = source[i];
      pixel[i] = (u32)c[(y + red) >> 3] | (u32)c[(y - green) >> 3] << 5 |
                 (u32)c[(y + blue) >> 3] << 10;
    }
    source += 6;
  }
  destination->top = pixel[0] | pixel[1] << 16;
  destination->bottom = pixel[2] | pixel[3] << 16;
  return source;
}

/* Loads entries 0, 1, 2 ... from a payload of n bytes. */
static void loadCodebook(CodebookEntry* codebook, const u8* p, int n, int grey) {
  const int entryBytes = grey ? 4 : 6;
  for (int i = 0; i < CODEBOOK_ENTRIES && n >= entryBytes; ++i, n -= entryBytes)
    p = convertEntry(codebook + i, p, grey);
}

/* Replaces the entries whose flag bit (from the top of each big-endian flag
 * word) is set. */
static void updateCodebook(CodebookEntry* codebook, const u8* p, int n, int grey) {
  const int entryBytes = grey ? 4 : 6;
  int i = 0;
  while (n > 0 && i < CODEBOOK_ENTRIES) {
    u32 flags = (u32)p[0] << 24 | (u32)p[1] << 16 | (u32)p[2] << 8 | p[3];
    p += 4;
    n -= 4;
    for (int bit = 0; bit < 32 && i < CODEBOOK_ENTRIES; ++bit, ++i, flags <<= 1) {
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

static inline void drawV1(u32* d, const CodebookEntry* e) {
  const u32 top = e->top, bottom = e->bottom;
  const u32 p0 = (top & 0xFFFF) * 0x10001, p1 = (top >> 16) * 0x10001;
  const u32 p2 = (bottom & 0xFFFF) * 0x10001, p3 = (bottom >> 16) * 0x10001;
  d[0] = p0; d[1] = p1;
  d[ROW_WORDS] = p0; d[ROW_WORDS + 1] = p1;
  d[2 * ROW_WORDS] = p2; d[2 * ROW_WORDS + 1] = p3;
  d[3 * ROW_WORDS] = p2; d[3 * ROW_WORDS + 1] = p3;
}

static inline void drawV4(u32* d, const u8* index) {
  const CodebookEntry* a = V4_CODEBOOK + index[0];
  const CodebookEntry* b = V4_CODEBOOK + index[1];
  const CodebookEntry* c = V4_CODEBOOK + index[2];
  const CodebookEntry* e = V4_CODEBOOK + index[3];
  d[0] = a->top; d[1] = b->top;
  d[ROW_WORDS] = a->bottom; d[ROW_WORDS + 1] = b->bottom;
  d[2 * ROW_WORDS] = c->top; d[2 * ROW_WORDS + 1] = e->top;
  d[3 * ROW_WORDS] = c->bottom; d[3 * ROW_WORDS + 1] = e->bottom;
}

static inline u32 readFlags(const u8* p) {
  return (u32)p[0] << 24 | (u32)p[1] << 16 | (u32)p[2] << 8 | p[3];
}

/* 0x30: every block drawn; a flag bit chooses four V4 indices (1) or one V1
 * index (0). */
static void drawIntraBlocks(BlockCursor* at, const u8* p, int n) {
  while (n > 0 && cursorInside(at)) {
    u32 flags = readFlags(p);
    p += 4;
    n -= 4;
    for (int bit = 0; bit < 32 && cursorInside(at); ++bit, flags <<= 1) {
      if (flags & 0x80000000u) {
        drawV4(at->block, p);
        p += 4;
        n -= 4;
      } else {
        drawV1(at->block, V1_CODEBOOK + *p++);
        n -= 1;
      }
      advance(at);
    }
  }
}

/* 0x31: a 0 bit keeps the block; a 1 bit is followed by a bit choosing V4 (1)
 * or V1 (0). The second bit may come from the next flag word. */
static void drawInterBlocks(BlockCursor* at, const u8* p, int n) {
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
        const u32 useV4 = flags & 0x80000000u;
        flags <<= 1;
        --bitsLeft;
        if (useV4) {
          drawV4(at->block, p);
          p += 4;
          n -= 4;
        } else {
          drawV1(at->block, V1_CODEBOOK + *p++);
          n -= 1;
        }
      }
      advance(at);
    }
  }
}

/* 0x32: one V1 index per block. */
static void drawV1Blocks(BlockCursor* at, const u8* p, int n) {
  for (; n > 0 && cursorInside(at); --n, advance(at)) drawV1(at->block, V1_CODEBOOK + *p++);
}

const u8* decodeFrameRecord(const u8* record) {
  const u32 length = readLe16(record);
  int remaining = (int)length - 4;
  const u8* chunk = record + 4;
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
        case 0x20: loadCodebook(V4_CODEBOOK, payload, n, 0); break;
        case 0x21: updateCodebook(V4_CODEBOOK, payload, n, 0); break;
        case 0x22: loadCodebook(V1_CODEBOOK, payload, n, 0); break;
        case 0x23: updateCodebook(V1_CODEBOOK, payload, n, 0); break;
        case 0x24: loadCodebook(V4_CODEBOOK, payload, n, 1); break;
        case 0x25: updateCodebook(V4_CODEBOOK, payload, n, 1); break;
        case 0x26: loadCodebook(V1_CODEBOOK, payload, n, 1); break;
        case 0x27: updateCodebook(V1_CODEBOOK, payload, n, 1); break;
        case 0x30: drawIntraBlocks(&at, payload, n); break;
        case 0x31: drawInterBlocks(&at, payload, n); break;
        case 0x32: drawV1Blocks(&at, payload, n); break;
        default: break; /* not ours: skipped */
      }
    }
    chunk += size;
  }
  return record + length;
}
