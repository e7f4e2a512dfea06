/* The addresses the console player fixes: where start-up puts the fast code
 * and the stacks, where the firmware finds the interrupt handler, and where
 * frames are drawn. Plain #defines so that the player's assembly (through
 * the C preprocessor), its C code and the host tools share them.
 *
 * The stream is not at a fixed address: it starts at the first byte after
 * the player image, which the player learns from its own linker symbols. */
#ifndef ZEPRA_FORMAT_PLAYER_MEMORY_H
#define ZEPRA_FORMAT_PLAYER_MEMORY_H

#include "format/screen.h"

#define ZEPRA_CARTRIDGE_ROM 0x08000000     /* the image's first byte */
#define ZEPRA_WORK_RAM 0x03000000          /* internal work RAM: the copied code block */
#define ZEPRA_USER_STACK_TOP 0x03007F00
#define ZEPRA_IRQ_STACK_TOP 0x03007FA0
#define ZEPRA_SUPERVISOR_STACK_TOP 0x03007FE0
#define ZEPRA_IRQ_HANDLER_SLOT 0x03007FFC  /* the firmware calls the address stored here */
#define ZEPRA_FIRMWARE_RESET 0x0000008C    /* the firmware's reset path, entered in ARM state */
#define ZEPRA_BACK_BUFFER 0x02000000       /* external work RAM: frames are drawn here */
#define ZEPRA_BACK_BUFFER_BYTES (ZEPRA_SCREEN_WIDTH * ZEPRA_SCREEN_HEIGHT * 2)
#define ZEPRA_EXTERNAL_WORK_RAM_END 0x02040000
#define ZEPRA_VIDEO_RAM 0x06000000         /* the visible bitmap */

#endif /* ZEPRA_FORMAT_PLAYER_MEMORY_H */
