#ifndef ZEPRA_PLAYER_PICTURE_H
#define ZEPRA_PLAYER_PICTURE_H
/* Cinepak decoding into the 240x160 back buffer in external work RAM, in the
 * console's colour format (red bits 0-4, green 5-9, blue 10-14). */

#include "player/hardware.h"

/* The picture sits centred in the back buffer; the rest stays black. */
typedef struct {
  u32 fillWord;         /* the value the back buffer is cleared with: black */
  u32* origin;          /* the picture's top-left pixel */
  u32 width, height;    /* pixels, multiples of 4 */
  const s8* clampTable; /* centre of the colour clamp table; 0 until built */
} PictureState;

extern PictureState pictureState;

/* Clears the back buffer and centres a picture of sizeWord = width |
 * height << 16. Codebooks are kept: a stream loads its own before using them. */
void setUpPicture(u32 sizeWord);

/* Decodes one frame record (4-byte length | strip type word, then the strip's
 * chunks) into the back buffer; returns the next record. */
const u8* decodeFrameRecord(const u8* record);

/* The two codebooks (V4 and V1) hold 256 entries each, an entry being a 2x2
 * block p0 p1 / p2 p3 stored as two words (p0 | p1 << 16, p2 | p3 << 16);
 * they keep their contents for the whole run of the cartridge. */

#endif
