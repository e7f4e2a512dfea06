#ifndef ZEPRA_PLAYER_TYPES_H
#define ZEPRA_PLAYER_TYPES_H
/* The player's integer types. Code that needs nothing else of the console
 * includes only these, so that the host can compile it too. */

typedef unsigned char u8;
typedef unsigned short u16;
typedef unsigned int u32;
typedef signed char s8;
typedef signed short s16;
typedef signed int s32;

#endif
