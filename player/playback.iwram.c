/* The playback loop and the display-refresh handler: ARM code in internal
 * work RAM. */

#include "player/playback.h"

#include "format/directory_check.h"
#include "format/stream_layout.h"
#include "player/picture.h"
#include "player/sound.h"

#define FRAME_DUE 0x10000u /* one whole frame in 16.16 */
/* An intra-coded record: the converter makes them load both codebooks in
 * full and draw every block, so decoding can start at one. */
#define INTRA_STRIP 0x1000

volatile PlaybackClock playbackClock;

/* The stream header: frame count, playbackStep (16.16 stream frames per
 * refresh), width | height << 16. */
typedef struct {
  u32 frameCount;
  u32 playbackStep;
  u32 sizeWord;
} StreamHeader;

/* How often a playing video's position is handed on to be kept. */
#define KEEP_POSITION_REFRESHES 180 /* about 3 seconds */

/* Waits until the next frame is due. A decoder that is already late still
 * halts once, so that a frame shows at most once per refresh. */
static void waitForFrame(int fast) {
  if (playbackClock.accumulator < FRAME_DUE) {
    if (!fast) {
      while (playbackClock.accumulator < FRAME_DUE) halt();
    } else {
      /* Run the refreshes ourselves: picture and sound go as fast as frames decode. */
      REG_IE &= ~IRQ_VBLANK;
      while (playbackClock.accumulator < FRAME_DUE) onDisplayRefresh();
      REG_IE |= IRQ_VBLANK;
    }
  } else {
    halt();
  }
  /* The handler adds to the accumulator: keep it out while we subtract. */
  REG_IME = 0;
  playbackClock.accumulator -= FRAME_DUE;
  REG_IME = 1;
}

static void waitForReset(void) __attribute__((noreturn));
static void waitForReset(void) {
  stopSound();
  playbackClock.resetRequested = 1;
  for (;;) halt(); /* the next refresh resets the cartridge */
}

/* The stream's parts, found once before playing. */
typedef struct {
  StreamHeader header;
  const u8* firstRecord;
  const u8* blocks;
  u32 blockCount;
} StreamParts;

/* A position fits when it lies inside the movie and the sound decoder's
 * state is one the decoder can be in. */
static int positionFits(const PlayPosition* p, const StreamParts* s) {
  return p->frame != 0 && p->frame < s->header.frameCount && p->block <= s->blockCount &&
         p->predictor >= ZEPRA_ADPCM_PREDICTOR_MIN && p->predictor <= ZEPRA_ADPCM_PREDICTOR_MAX &&
         p->stepIndex >= 0 && p->stepIndex < ZEPRA_ADPCM_STEP_COUNT;
}

/* Brings the back buffer and the codebooks to where they are just before
 * record `frame`: decodes from the last intra-coded record at or before it.
 * Returns record `frame`. */
static const u8* catchUp(const StreamParts* s, u32 frame) {
  const u8* record = s->firstRecord;
  const u8* from = record;
  for (u32 k = 0; k < frame; ++k) {
    if (readLe16(record + 2) == INTRA_STRIP) from = record;
    record += readLe16(record);
  }
  if (readLe16(record + 2) == INTRA_STRIP) from = record;
  while (from != record) from = decodeFrameRecord(from);
  return record;
}

/* Notes where the video stands: `frame` is shown next. The clock and the
 * sound move in the interrupt, so they are read with it held off. */
static void notePosition(PlayPosition* p, const StreamParts* s, u32 frame) {
  REG_IME = 0;
  p->frame = frame;
  p->accumulator = playbackClock.accumulator;
  p->block = (u32)(soundState.blockPointer - s->blocks) / SOUND_BLOCK_BYTES;
  if (!soundState.playing && !soundState.firstRefresh) p->block = s->blockCount; /* the sound is over */
  p->predictor = soundState.predictor;
  p->stepIndex = soundState.stepIndex;
  REG_IME = 1;
}

static int playPasses(const u8* stream, const PlayRequest* request) {
  StreamParts s;
  s.header = (StreamHeader){readLe32(stream), readLe32(stream + 4), readLe32(stream + 8)};
  if (!zepraStreamHeaderValid(s.header.frameCount, s.header.playbackStep, s.header.sizeWord)) {
    for (;;) halt(); /* nothing to play: a black screen rather than garbage */
  }
  s.firstRecord = stream + ZEPRA_STREAM_HEADER_BYTES;
  const u8* trailer = s.firstRecord;
  for (u32 k = 0; k < s.header.frameCount; ++k) trailer += readLe16(trailer);
  s.blockCount = readLe32(trailer);
  s.blocks = trailer + 4;

  setUpPicture(s.header.sizeWord);
  initSound();
  u32 previousKeys = REG_KEYINPUT & KEY_MASK;

  PlayPosition* const position = request->position;
  PlayPosition start;
  clearPosition(&start);
  if (position != 0 && positionFits(position, &s)) start = *position;
  const u8* startRecord = start.frame != 0 ? catchUp(&s, start.frame) : s.firstRecord;
  /* Frames between two handings-on of the position: about three seconds. */
  const u32 keepEvery = (s.header.playbackStep * KEEP_POSITION_REFRESHES >> 16) + 1;

  for (;;) {
    int fast = 0;
    playbackClock.step = s.header.playbackStep;
    playbackClock.accumulator = start.accumulator;
    const u32 soundBlocks = start.block < s.blockCount ? s.blockCount - start.block : 0;
    startSound(s.blocks + start.block * SOUND_BLOCK_BYTES, soundBlocks, start.predictor, start.stepIndex);

    const u8* record = startRecord;
    u32 untilKept = keepEvery;
    for (u32 k = start.frame; k < s.header.frameCount; ++k) {
      record = decodeFrameRecord(record);
      waitForFrame(fast);
      dma3Copy32(MEM_VRAM, (const void*)MEM_BACK_BUFFER, SCREEN_WORDS);

      const u32 keys = REG_KEYINPUT & KEY_MASK;
      if ((keys & (KEY_L | KEY_R | KEY_START | KEY_SELECT)) == 0) waitForReset();
      fast = (keys & KEY_A) == 0;
      const u32 released = ~previousKeys & keys & KEY_MASK;
      if (released == KEY_B) {
        stopSound();
        return PLAY_RESTART;
      }
      if (released == KEY_START && request->startReturns) {
        if (position != 0) notePosition(position, &s, k + 1);
        stopSound();
        return PLAY_MENU;
      }
      previousKeys = keys;
      if (position != 0 && --untilKept == 0) {
        untilKept = keepEvery;
        notePosition(position, &s, k + 1);
        request->keepPosition();
      }
    }
    stopSound();
    clearPosition(&start);
    startRecord = s.firstRecord;
    if (position != 0) clearPosition(position);
    if (!request->repeat) return PLAY_ENDED;
  }
}

int playStream(const u8* stream, const PlayRequest* request) {
  const IrqHandler savedHandler = irqHandlers[0];
  const u16 savedIe = REG_IE;
  const u16 savedIme = REG_IME;
  irqHandlers[0] = onDisplayRefresh;
  REG_DISPSTAT = DSTAT_VBL_IRQ;
  REG_IE = (REG_IE & IRQ_KEYPAD) | IRQ_VBLANK;
  REG_IME = 1;
  REG_DISPCNT = DCNT_MODE3 | DCNT_BG2;
  REG_BG2CNT = 0;

  const int result = playPasses(stream, request);

  REG_IME = 0;
  REG_IE = savedIe;
  irqHandlers[0] = savedHandler;
  REG_IME = savedIme;
  return result;
}

/* A flash cartridge's return-to-menu protocol: 16-bit writes into cartridge
 * space, some repeated 500 times, in exactly this order. */
static void writeCart(u32 address, u16 value, int times) {
  for (int i = 0; i < times; ++i) REG16(address) = value;
}

void resetCartridge(void) {
  REG_IME = 0;
  REG_IE = 0;
  REG_IF = 0;
  REG_DISPCNT = 0;
  writeCart(0x0930ECA8, 0x5354, 1);
  writeCart(0x0802468A, 0x1234, 500);
  writeCart(0x0802468A, 0x5354, 1);
  writeCart(0x0802468A, 0x5678, 500);
  writeCart(0x0930ECA8, 0x5354, 1);
  writeCart(0x0802468A, 0x5354, 1);
  writeCart(0x08ECA800, 0x5678, 1);
  writeCart(0x080268A0, 0x1234, 1);
  writeCart(0x0802468A, 0xABCD, 500);
  writeCart(0x0930ECA8, 0x5354, 1);
  writeCart(0x096B592E, 0, 1);
  writeCart(0x09FE46C8, 0xD234, 1);
  writeCart(0x08002B2A, 0x1545, 1);
  writeCart(0x080248B0, 0xD229, 1);
  writeCart(0x08044F26, 0x1578, 1);
  writeCart(0x09884D26, 0, 1);
  writeCart(0x09FC8E4A, 0x1558, 1);
  /* Into the firmware's reset path in ARM state, on a fresh stack. */
  __asm__ volatile(
      "ldr sp, =" STRINGIFY_VALUE(ZEPRA_USER_STACK_TOP) "\n\t"
      "mov r0, #" STRINGIFY_VALUE(ZEPRA_FIRMWARE_RESET) "\n\t"
      "bx r0\n\t"
      ".ltorg" ::: "r0", "memory");
  __builtin_unreachable();
}

void onDisplayRefresh(void) {
  refillSound();
  playbackClock.accumulator += playbackClock.step;
  if (playbackClock.resetRequested) resetCartridge();
}
