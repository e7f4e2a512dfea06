/* The menu: ROM code, Thumb. */

#include "player/menu.h"

#include "format/directory_check.h"
#include "format/resume_save.h"
#include "player/playback.h"
#include "player/resume_store.h"
#include "player/text.h"

#define CARTRIDGE_ROM ((const u8*)0x08000000)
#define ROM_TITLE ((const char*)0x080000A0)
#define ROM_TITLE_BYTES 12

/* Layout: the cartridge's title, a rule, the list, the line of hints. */
#define TITLE_Y 3
#define RULE_Y 15
#define LIST_Y 19
#define LIST_LINES 11
#define HINT_Y (kScreenHeight - FONT_CELL_HEIGHT - 1)
#define NAME_X FONT_CELL_WIDTH

#define COLOUR_BACKGROUND RGB15(1, 2, 6)
#define COLOUR_TITLE RGB15(31, 27, 10)
#define COLOUR_RULE RGB15(8, 10, 18)
#define COLOUR_TEXT RGB15(25, 25, 27)
#define COLOUR_SELECTED_BAR RGB15(6, 12, 26)
#define COLOUR_SELECTED_TEXT RGB15(31, 31, 31)
#define COLOUR_HINT RGB15(20, 22, 26)

/* Held Up or Down moves once, then again after the delay, then at the rate. */
#define REPEAT_DELAY 18 /* refreshes */
#define REPEAT_RATE 5

typedef struct {
  const u8* stream;
  const char* name; /* zero-terminated within its 32-byte field */
  u32 seconds;
  u32 entry; /* its place in the directory, which is its place in the save */
} MenuVideo;

MenuState menuState;
static MenuVideo videos[ZEPRA_DIRECTORY_MAX_ENTRIES] __attribute__((section(".ewram_noinit")));
/* A fill must not read its word from cartridge ROM (see dma3Fill32). */
static u32 backgroundWord;

/* Refreshes of sound per second, in ten-thousandths: 16777216 / 280896. */
#define REFRESHES_PER_10000_SECONDS 597275u

static void waitForRefresh(void) { halt(); /* the display refresh is the one interrupt on */ }

static void drawList(u16* picture) {
  for (u32 line = 0; line < LIST_LINES && menuState.top + line < menuState.count; ++line) {
    const u32 i = menuState.top + line;
    const int y = LIST_Y + (int)line * FONT_CELL_HEIGHT;
    const int selected = i == menuState.selection;
    if (selected) fillBox(picture, 0, y - 1, kScreenWidth, FONT_CELL_HEIGHT, COLOUR_SELECTED_BAR);
    const u16 colour = selected ? COLOUR_SELECTED_TEXT : COLOUR_TEXT;
    if (selected) drawText(picture, 0, y, ">", 1, colour);
    drawText(picture, NAME_X, y, videos[i].name, ZEPRA_DIRECTORY_NAME_CHARS, colour);
    char duration[12];
    const int length = (int)(formatDuration(duration, videos[i].seconds) - duration);
    drawText(picture, kScreenWidth - 2 - length * FONT_CELL_WIDTH, y, duration, length, colour);
  }
}

static void drawHint(u16* picture) {
  char hint[TEXT_COLUMNS + 1];
  const PlayPosition* p = videoPosition(videos[menuState.selection].entry);
  if (p->frame != 0) {
    const char* lead = "resume at ";
    char* out = hint;
    while (*lead != 0) *out++ = *lead++;
    out = formatDuration(out, p->block * 10000u / REFRESHES_PER_10000_SECONDS);
    const char* keys = "  A resume  B start over";
    while (*keys != 0 && out < hint + TEXT_COLUMNS) *out++ = *keys++;
    *out = 0;
  } else {
    const char* keys = "A play   Up/Down choose";
    char* out = hint;
    while (*keys != 0) *out++ = *keys++;
    *out = 0;
  }
  drawText(picture, 0, HINT_Y, hint, TEXT_COLUMNS, COLOUR_HINT);
}

static void drawMenu(void) {
  u16* const picture = (u16*)MEM_BACK_BUFFER;
  backgroundWord = COLOUR_BACKGROUND | (u32)COLOUR_BACKGROUND << 16;
  dma3Fill32(MEM_BACK_BUFFER, &backgroundWord, SCREEN_WORDS);
  char title[ROM_TITLE_BYTES + 1];
  int length = 0;
  while (length < ROM_TITLE_BYTES && ROM_TITLE[length] != 0) title[length] = ROM_TITLE[length], ++length;
  title[length] = 0;
  drawText(picture, (kScreenWidth - length * FONT_CELL_WIDTH) / 2, TITLE_Y, title, length, COLOUR_TITLE);
  fillBox(picture, 0, RULE_Y, kScreenWidth, 1, COLOUR_RULE);
  drawList(picture);
  drawHint(picture);
  waitForRefresh();
  dma3Copy32(MEM_VRAM, (const void*)MEM_BACK_BUFFER, SCREEN_WORDS);
}

static void selectLine(u32 line) {
  menuState.selection = line;
  if (line < menuState.top) menuState.top = line;
  if (line >= menuState.top + LIST_LINES) menuState.top = line - LIST_LINES + 1;
}

/* Plays the selected video until it ends or the user asks for the menu. */
static void play(int resume) {
  const MenuVideo* video = &videos[menuState.selection];
  PlayPosition* position = videoPosition(video->entry);
  if (!resume) clearPosition(position);
  const PlayRequest request = {0, 1, position, storePositions};
  int why;
  while ((why = playStream(video->stream, &request)) == PLAY_RESTART) clearPosition(position);
  if (why == PLAY_ENDED) selectLine((menuState.selection + 1) % menuState.count);
  storePositions();
}

static void listVideos(const u8* directory) {
  const u32 at = (u32)(directory - CARTRIDGE_ROM);
  const u32 entries = zepraDirectoryCount(CARTRIDGE_ROM, at);
  menuState.count = 0;
  for (u32 i = 0; i < entries; ++i) {
    if (!zepraDirectoryEntryValid(CARTRIDGE_ROM, at, i)) continue;
    const u8* entry = zepraDirectoryEntry(CARTRIDGE_ROM, at, i);
    MenuVideo* video = &videos[menuState.count++];
    video->stream = CARTRIDGE_ROM + zepraLe32(entry + ZEPRA_ENTRY_OFFSET_AT);
    video->name = (const char*)entry;
    video->seconds = zepraLe32(entry + ZEPRA_ENTRY_SECONDS_AT);
    video->entry = i;
  }
  const u32 directoryBytes = ZEPRA_DIRECTORY_HEADER_BYTES + entries * ZEPRA_DIRECTORY_ENTRY_BYTES;
  loadPositions(zepraSaveHash(ZEPRA_SAVE_HASH_START, directory, directoryBytes), entries);
}

void runMenu(const u8* directory) {
  /* The cleared bitmap: black until the menu is drawn. */
  REG_DISPCNT = DCNT_MODE3 | DCNT_BG2;
  REG_BG2CNT = 0;
  REG_DISPSTAT = DSTAT_VBL_IRQ;
  REG_IE = IRQ_VBLANK;
  REG_IME = 1;
  listVideos(directory);
  if (menuState.count == 0) {
    for (;;) halt(); /* nothing valid to list: a black screen */
  }

  u32 previousKeys = REG_KEYINPUT & KEY_MASK;
  u32 repeatIn = 0;
  int redraw = 1;
  for (;;) {
    if (redraw) drawMenu();
    redraw = 0;
    waitForRefresh();
    const u32 keys = REG_KEYINPUT & KEY_MASK;
    if ((keys & (KEY_L | KEY_R | KEY_START | KEY_SELECT)) == 0) resetCartridge();
    const u32 pressed = previousKeys & ~keys, released = ~previousKeys & keys & KEY_MASK;
    previousKeys = keys;

    const u32 upDown = ~keys & (KEY_UP | KEY_DOWN);
    int move = 0;
    if (upDown == KEY_UP || upDown == KEY_DOWN) {
      if (pressed & upDown) {
        move = 1;
        repeatIn = REPEAT_DELAY;
      } else if (--repeatIn == 0) {
        move = 1;
        repeatIn = REPEAT_RATE;
      }
    }
    if (move) {
      const u32 n = menuState.count;
      selectLine(upDown == KEY_UP ? (menuState.selection + n - 1) % n : (menuState.selection + 1) % n);
      redraw = 1;
    }
    /* Acting on the release keeps A from running the video fast at its start. */
    if (released == KEY_A || released == KEY_B) {
      play(released == KEY_A);
      previousKeys = REG_KEYINPUT & KEY_MASK;
      redraw = 1;
    }
  }
}
