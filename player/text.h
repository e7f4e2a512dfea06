#ifndef ZEPRA_PLAYER_TEXT_H
#define ZEPRA_PLAYER_TEXT_H
/* Text and boxes drawn into a 240x160 picture of 16-bit console colours (the
 * back buffer), for the menu. Runs from cartridge ROM: drawing is rare. */

#include "player/hardware.h"

#define FONT_FIRST_CHAR 0x20
#define FONT_GLYPH_COUNT 95 /* 0x20 .. 0x7E */
#define FONT_GLYPH_ROWS 9
#define FONT_CELL_WIDTH 6
#define FONT_CELL_HEIGHT 11
#define TEXT_COLUMNS (kScreenWidth / FONT_CELL_WIDTH) /* 40 */

extern const u8 fontGlyphs[FONT_GLYPH_COUNT][FONT_GLYPH_ROWS];

/* Console colours: red bits 0-4, green 5-9, blue 10-14. */
#define RGB15(r, g, b) ((u16)((r) | (g) << 5 | (b) << 10))

void fillBox(u16* picture, int x, int y, int width, int height, u16 colour);
/* Draws at most maxChars characters of the zero-terminated text with its top
 * left at (x, y), clipped to the picture; characters the font lacks show as
 * '?'. Returns the number of characters drawn. */
int drawText(u16* picture, int x, int y, const char* text, int maxChars, u16 colour);

/* Writes seconds as m:ss, or h:mm:ss from an hour on; returns the end. */
char* formatDuration(char* out, u32 seconds);

#endif
