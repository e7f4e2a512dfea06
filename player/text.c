/* Text for the menu: ROM code, Thumb. */

#include "player/text.h"

#include "format/directory.h"

void fillBox(u16* picture, int x, int y, int width, int height, u16 colour) {
  if (x < 0) width += x, x = 0;
  if (y < 0) height += y, y = 0;
  if (x + width > kScreenWidth) width = kScreenWidth - x;
  if (y + height > kScreenHeight) height = kScreenHeight - y;
  for (int row = 0; row < height; ++row) {
    u16* p = picture + (y + row) * kScreenWidth + x;
    for (int col = 0; col < width; ++col) p[col] = colour;
  }
}

static void drawGlyph(u16* picture, int x, int y, u32 c, u16 colour) {
  if (c < FONT_FIRST_CHAR || c >= FONT_FIRST_CHAR + FONT_GLYPH_COUNT) c = ZEPRA_DIRECTORY_REPLACEMENT_CHAR;
  const u8* rows = fontGlyphs[c - FONT_FIRST_CHAR];
  for (int r = 0; r < FONT_GLYPH_ROWS; ++r) {
    if (y + r < 0 || y + r >= kScreenHeight) continue;
    for (int b = 0; b < 5; ++b) {
      if ((rows[r] & (0x10 >> b)) == 0 || x + b < 0 || x + b >= kScreenWidth) continue;
      picture[(y + r) * kScreenWidth + x + b] = colour;
    }
  }
}

int drawText(u16* picture, int x, int y, const char* text, int maxChars, u16 colour) {
  int n = 0;
  for (; n < maxChars && text[n] != 0; ++n) drawGlyph(picture, x + n * FONT_CELL_WIDTH, y, (u8)text[n], colour);
  return n;
}

static char* twoDigits(char* out, u32 value) {
  *out++ = (char)('0' + value / 10);
  *out++ = (char)('0' + value % 10);
  return out;
}

char* formatDuration(char* out, u32 seconds) {
  const u32 hours = seconds / 3600, minutes = seconds / 60 % 60;
  char digits[10];
  int n = 0;
  u32 lead = hours != 0 ? hours : minutes;
  do {
    digits[n++] = (char)('0' + lead % 10);
    lead /= 10;
  } while (lead != 0);
  while (n > 0) *out++ = digits[--n];
  if (hours != 0) {
    *out++ = ':';
    out = twoDigits(out, minutes);
  }
  *out++ = ':';
  out = twoDigits(out, seconds % 60);
  *out = 0;
  return out;
}
