/* The control section: runs from cartridge ROM in Thumb state. */

#include "player/hardware.h"
#include "format/directory.h"
#include "player/menu.h"
#include "player/playback.h"

/* Linker symbols: the work-RAM block's ROM address and length. The stream,
 * or the directory of several, starts at the first byte after the image,
 * that is right behind the block. */
extern const u8 __iwram_rom[];
extern const u8 __iwram_size[];

/* In work RAM: DMA from cartridge ROM always increments its source, so a
 * fill must read its word from elsewhere. */
static u32 zeroWord;

void playerMain(void) {
  REG_WAITCNT = (REG_WAITCNT & WAITCNT_KEEP) | WAITCNT_FAST_CART;
  REG_IE = 0;
  REG_DISPCNT = 0;
  MEM_PALETTE[0] = 0; /* black backdrop */
  dma3Fill32(MEM_VRAM, &zeroWord, SCREEN_WORDS);

  const u8* behind = __iwram_rom + (u32)__iwram_size;
  if (readLe32(behind) == ZEPRA_DIRECTORY_MAGIC) runMenu(behind);
  static const PlayRequest kForever = {1, 0, 0, 0};
  for (;;) playStream(behind, &kForever);
}
