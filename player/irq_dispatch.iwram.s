@ The interrupt dispatcher, called by the firmware in interrupt mode (ARM
@ state, r0-r3, r12 and lr already saved on the interrupt stack) for every
@ interrupt while IME is set.
@ While the cartridge interrupt is pending it spins for ever: a removed
@ cartridge must stop the player before it runs off into open bus.
@ Otherwise it acknowledges the lowest pending source of bits 0-12 in IF and
@ calls that source's entry of irqHandlers.
@ Clobbers r0-r3, r12 (saved by the firmware). About 30 cycles plus the
@ handler for the display refresh.

    .syntax unified
    .arm
    .section .text.irqDispatch, "ax"
    .global irqDispatch
irqDispatch:
    mov     r0, #0x04000000
    add     r0, r0, #0x200      @ IE, with IF in the upper half of the word
    ldr     r1, [r0]
    and     r1, r1, r1, lsr #16 @ pending = IE & IF
    tst     r1, #0x2000
removedCartridge:
    bne     removedCartridge
    mov     r2, #0              @ source number
    mov     r3, #1              @ its bit
1:  tst     r1, r3
    bne     2f
    add     r2, r2, #1
    mov     r3, r3, lsl #1
    cmp     r2, #13
    blo     1b
    bx      lr                  @ nothing of ours is pending
2:  strh    r3, [r0, #2]        @ acknowledge exactly this source
    ldr     r0, =irqHandlers
    ldr     r0, [r0, r2, lsl #2]
    push    {r4, lr}            @ keeps the stack 8-byte aligned
    mov     lr, pc
    bx      r0
    pop     {r4, lr}
    bx      lr
    .pool

@ The handler for sources nobody listens to.
    .global emptyHandler
emptyHandler:
    bx      lr

    .section .data.irqHandlers, "aw"
    .align  2
    .global irqHandlers
irqHandlers:
    .rept   13
    .word   emptyHandler
    .endr
