@ Cartridge header and start-up. The header is the first 192 bytes of the
@ image; the firmware enters at offset 0 in ARM state, and the branch there
@ leads to the start-up at 0xC0. The logo and the complement byte are left
@ zero: flash-cartridge loaders and emulators fill in or ignore them.

#include "format/player_memory.h"

    .syntax unified
    .arm
    .section .header, "ax"
    .global _start
_start:
    b       startUp
    .fill   156, 1, 0           @ 0x04: logo area
    .ascii  "Vornaquistel"      @ 0xA0: title, rewritten by the ROM builder
    .ascii  "VRNQ"              @ 0xAC: game code
    .ascii  "ZK"                @ 0xB0: maker code
    .byte   0x96                @ 0xB2: fixed value
    .byte   0                   @ 0xB3: unit code
    .byte   0                   @ 0xB4: device type
    .fill   7, 1, 0             @ 0xB5: reserved
    .byte   0                   @ 0xBC: version
    .byte   0                   @ 0xBD: complement check
    .fill   2, 1, 0             @ 0xBE: reserved

@ 0xC0. In: any privileged mode. Sets the interrupt and supervisor stacks,
@ copies the work-RAM block (a whole number of words) from behind the ROM
@ part of the image to internal work RAM, enters user mode with interrupts enabled,
@ tells the firmware where the interrupt dispatcher is and goes on in
@ playerMain (Thumb); never returns.
startUp:
    mov     r0, #0xD2           @ interrupt mode, IRQ and FIQ masked
    msr     cpsr_c, r0
    ldr     sp, =ZEPRA_IRQ_STACK_TOP
    mov     r0, #0xD3           @ supervisor mode
    msr     cpsr_c, r0
    ldr     sp, =ZEPRA_SUPERVISOR_STACK_TOP

    ldr     r0, =__iwram_rom
    ldr     r1, =__iwram_start
    ldr     r2, =__iwram_size
1:  subs    r2, r2, #4
    ldrpl   r3, [r0], #4
    strpl   r3, [r1], #4
    bhi     1b

    mov     r0, #0x10           @ user mode, interrupts enabled
    msr     cpsr_c, r0
    ldr     sp, =ZEPRA_USER_STACK_TOP
    ldr     r0, =irqDispatch
    ldr     r1, =ZEPRA_IRQ_HANDLER_SLOT
    str     r0, [r1]
    ldr     r0, =playerMain     @ a Thumb address: bit 0 set
    bx      r0
    .pool
