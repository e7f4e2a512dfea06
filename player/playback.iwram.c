/* The playback loop and the display-refresh handler: ARM code in internal
 * work RAM. */

#include "player/playback.h"

#include "format/stream_layout.h"
#include "player/picture.h"
#include "player/sound.h"

#define FRAME_DUE 0x10000u /* one whole frame in 16.16 */

volatile PlaybackClock playbackClock;

/* The stream header: frame count, playbackStep (16.16 stream frames per
 * refresh), width | height << 16. */
typedef struct {
  u32 frameCount;
  u32 playbackStep;
  u32 sizeWord;
} StreamHeader;

static int describesMovie(const StreamHeader* h) {
  u32 width = h->sizeWord & 0xFFFF, height = h->sizeWord >> 16;
  return h->frameCount != 0 && h->playbackStep != 0 && width != 0 && width <= kScreenWidth &&
         height != 0 && height <= kScreenHeight && (width & 3) == 0 && (height & 3) == 0;
}

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

static int playPasses(const u8* stream, int repeat) {
  StreamHeader header = {readLe32(stream), readLe32(stream + 4), readLe32(stream + 8)};
  if (!describesMovie(&header)) {
    for (;;) halt(); /* nothing to play: a black screen rather than garbage */
  }
  const u8* firstRecord = stream + ZEPRA_STREAM_HEADER_BYTES;
  const u8* trailer = firstRecord;
  for (u32 k = 0; k < header.frameCount; ++k) trailer += readLe16(trailer);
  const u32 blockCount = readLe32(trailer);
  const u8* blocks = trailer + 4;

  setUpPicture(header.sizeWord);
  initSound();
  u32 previousKeys = REG_KEYINPUT & KEY_MASK;

  for (;;) {
    int fast = 0;
    playbackClock.step = header.playbackStep;
    playbackClock.accumulator = 0;
    startSound(blocks, blockCount);

    const u8* record = firstRecord;
    for (u32 k = 0; k < header.frameCount; ++k) {
      record = decodeFrameRecord(record);
      waitForFrame(fast);
      dma3Copy32(MEM_VRAM, (const void*)MEM_BACK_BUFFER, SCREEN_WORDS);

      const u32 keys = REG_KEYINPUT & KEY_MASK;
      if ((keys & (KEY_L | KEY_R | KEY_START | KEY_SELECT)) == 0) waitForReset();
      fast = (keys & KEY_A) == 0;
      const u32 released = ~previousKeys & keys & KEY_MASK;
      if (released == KEY_B) {
        stopSound();
        return 1;
      }
      previousKeys = keys;
    }
    stopSound();
    if (!repeat) return 0;
  }
}

int playStream(const u8* stream, int repeat) {
  const IrqHandler savedHandler = irqHandlers[0];
  const u16 savedIe = REG_IE;
  const u16 savedIme = REG_IME;
  irqHandlers[0] = onDisplayRefresh;
  REG_DISPSTAT = DSTAT_VBL_IRQ;
  REG_IE = (REG_IE & IRQ_KEYPAD) | IRQ_VBLANK;
  REG_IME = 1;
  REG_DISPCNT = DCNT_MODE3 | DCNT_BG2;
  REG_BG2CNT = 0;

  const int result = playPasses(stream, repeat);

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

static void resetToMenu(void) __attribute__((noreturn));
static void resetToMenu(void) {
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
  if (playbackClock.resetRequested) resetToMenu();
}
