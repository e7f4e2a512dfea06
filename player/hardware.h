#ifndef ZEPRA_PLAYER_HARDWARE_H
#define ZEPRA_PLAYER_HARDWARE_H
/* The console's registers under the names its programmers know, and the
 * small helpers every unit uses (DMA channel 3 copies and fills, the
 * firmware's Halt call). The addresses the player fixes and the screen are
 * part of the cartridge format (format/). */

#include "format/player_memory.h"
#include "format/screen.h"

#include "player/types.h"

/* A macro's value as a string, for addresses in inline assembly. */
#define STRINGIFY_VALUE(x) STRINGIFY_TEXT(x)
#define STRINGIFY_TEXT(x) #x

#define REG16(address) (*(volatile u16*)(address))
#define REG32(address) (*(volatile u32*)(address))

/* Display */
#define REG_DISPCNT REG16(0x04000000)
#define REG_DISPSTAT REG16(0x04000004)
#define REG_BG2CNT REG16(0x0400000C)
#define DCNT_MODE3 0x0003
#define DCNT_BG2 0x0400
#define DSTAT_VBL_IRQ 0x0008

/* Sound */
#define REG_SOUNDCNT_H REG16(0x04000082)
#define REG_SOUNDCNT_X REG16(0x04000084)
#define REG_SOUNDBIAS REG16(0x04000088)
#define REG_FIFO_A REG32(0x040000A0)
#define REG_FIFO_A_ADDRESS 0x040000A0u
/* Sound A at full volume on both speakers from timer 0, FIFO reset; sound B
 * on both speakers from timer 1; the tone channels at half volume. */
#define SDS_PLAY_A_TIMER0 0x7B0D
#define SSTAT_ENABLE 0x0080
#define SBIAS_RES_8BIT 0x4000 /* bits 14-15: 8-bit amplitude at 32768 Hz */

/* DMA: source, destination and control (count in the low half). */
#define REG_DMA1SAD REG32(0x040000BC)
#define REG_DMA1DAD REG32(0x040000C0)
#define REG_DMA1CNT_H REG16(0x040000C6)
#define REG_DMA3SAD REG32(0x040000D4)
#define REG_DMA3DAD REG32(0x040000D8)
#define REG_DMA3CNT REG32(0x040000DC)
#define DMA_SRC_FIXED 0x0100
#define DMA_DST_FIXED 0x0040
#define DMA_REPEAT 0x0200
#define DMA_32 0x0400
#define DMA_AT_SPECIAL 0x3000
#define DMA_ENABLE 0x8000
/* Enabled, started by sound FIFO requests, 32-bit units, repeating, source
 * incrementing, destination fixed. */
#define DMA_SOUND_FIFO (DMA_ENABLE | DMA_AT_SPECIAL | DMA_32 | DMA_REPEAT | DMA_DST_FIXED)

/* Timers */
#define REG_TM0CNT_L REG16(0x04000100)
#define REG_TM0CNT_H REG16(0x04000102)
#define TM_ENABLE 0x0080

/* Keys: a 0 bit means pressed. */
#define REG_KEYINPUT REG16(0x04000130)
#define KEY_A 0x0001
#define KEY_B 0x0002
#define KEY_SELECT 0x0004
#define KEY_START 0x0008
#define KEY_UP 0x0040
#define KEY_DOWN 0x0080
#define KEY_R 0x0100
#define KEY_L 0x0200
#define KEY_MASK 0x03FF

/* Interrupts and wait states */
#define REG_IE REG16(0x04000200)
#define REG_IF REG16(0x04000202)
#define REG_WAITCNT REG16(0x04000204)
#define REG_IME REG16(0x04000208)
#define IRQ_VBLANK 0x0001
#define IRQ_KEYPAD 0x1000
#define IRQ_GAMEPAK 0x2000
#define IRQ_SOURCE_COUNT 13
/* Prefetch on; cartridge wait states 3/1 for the first region, where the
 * player and its stream lie, 3/1 and 3/1 for the mirrors, 3 for save memory. */
#define WAITCNT_FAST_CART 0x45B5
#define WAITCNT_KEEP 0x8000 /* the read-only cartridge-type bit */

/* Memory the player uses */
#define MEM_PALETTE ((volatile u16*)0x05000000)
#define MEM_VRAM ((u32)ZEPRA_VIDEO_RAM)
#define MEM_BACK_BUFFER ((u32)ZEPRA_BACK_BUFFER)
#define SCREEN_WORDS (kScreenWidth * kScreenHeight * 2 / 4) /* 0x4B00 */

/* The firmware's Halt call: sleeps until an enabled interrupt is raised. */
static inline void halt(void) {
#if defined(__thumb__)
  __asm__ volatile("swi 0x02" ::: "r0", "r1", "r2", "r3", "memory");
#else
  __asm__ volatile("swi 0x020000" ::: "r0", "r1", "r2", "r3", "memory");
#endif
}

/* Copies words with DMA channel 3; the processor waits until it is done. */
static inline void dma3Copy32(u32 destination, const void* source, u32 words) {
  REG_DMA3SAD = (u32)source;
  REG_DMA3DAD = destination;
  REG_DMA3CNT = words | ((u32)(DMA_ENABLE | DMA_32) << 16);
}

/* Fills words with the word at source (read again for every unit). The
 * source must not lie in cartridge ROM, where DMA ignores the fixed-source
 * setting and reads on. */
static inline void dma3Fill32(u32 destination, const u32* source, u32 words) {
  REG_DMA3SAD = (u32)source;
  REG_DMA3DAD = destination;
  REG_DMA3CNT = words | ((u32)(DMA_ENABLE | DMA_32 | DMA_SRC_FIXED) << 16);
}

/* Little-endian reads that do not care how the stream is aligned. */
static inline u32 readLe16(const u8* p) { return p[0] | (u32)p[1] << 8; }
static inline u32 readLe32(const u8* p) {
  return p[0] | (u32)p[1] << 8 | (u32)p[2] << 16 | (u32)p[3] << 24;
}

#endif
