/* The checks every reader of a cartridge directory makes before it trusts
 * it (C11 and C++20): the console player before it lists a video, the
 * converter before it writes an image. Every read stays inside the bytes the
 * caller vouches for, and every loop ends within them: a record is at least
 * its 4-byte prefix long, so a walk over records cannot outlast the stream. */
#ifndef ZEPRA_FORMAT_DIRECTORY_CHECK_H
#define ZEPRA_FORMAT_DIRECTORY_CHECK_H

#include <stdint.h>

#include "format/adpcm_tables.h"
#include "format/directory.h"
#include "format/screen.h"
#include "format/stream_layout.h"

/* The largest image a cartridge holds: 32 MiB. */
#define ZEPRA_MAX_IMAGE_BYTES 0x2000000u

static inline uint32_t zepraLe16(const uint8_t* p) { return p[0] | (uint32_t)p[1] << 8; }
static inline uint32_t zepraLe32(const uint8_t* p) {
  return p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

/* 1 when a stream header's words describe a movie the player can show: some
 * frames, a clock that advances, and a picture of whole 4x4 blocks that fits
 * the 240x160 screen. */
static inline int zepraStreamHeaderValid(uint32_t frameCount, uint32_t playbackStep, uint32_t sizeWord) {
  const uint32_t width = sizeWord & 0xFFFF, height = sizeWord >> 16;
  return frameCount != 0 && playbackStep != 0 && width != 0 && width <= ZEPRA_SCREEN_WIDTH &&
         height != 0 && height <= ZEPRA_SCREEN_HEIGHT && (width & 3) == 0 && (height & 3) == 0;
}

/* The length of the whole stream at `stream` (header, records, sound
 * trailer) when it lies within `available` bytes and its header describes a
 * movie; 0 otherwise. */
static inline uint32_t zepraStreamLength(const uint8_t* stream, uint32_t available) {
  if (available < ZEPRA_STREAM_HEADER_BYTES) return 0;
  const uint32_t frameCount = zepraLe32(stream);
  if (!zepraStreamHeaderValid(frameCount, zepraLe32(stream + 4), zepraLe32(stream + 8))) return 0;
  uint32_t at = ZEPRA_STREAM_HEADER_BYTES;
  for (uint32_t k = 0; k < frameCount; ++k) {
    if (available - at < ZEPRA_RECORD_PREFIX_BYTES) return 0;
    const uint32_t length = zepraLe16(stream + at);
    if (length < ZEPRA_RECORD_PREFIX_BYTES || length > available - at) return 0;
    at += length;
  }
  if (available - at < 4) return 0;
  const uint32_t blocks = zepraLe32(stream + at);
  at += 4;
  if (blocks > (available - at) / ZEPRA_AUDIO_BLOCK_BYTES) return 0;
  return at + blocks * ZEPRA_AUDIO_BLOCK_BYTES;
}

/* The directory's entry count when its header at image + directoryOffset is
 * sound: magic and version, a count of 1 .. ZEPRA_DIRECTORY_MAX_ENTRIES, and
 * an image length that holds the entries and fits a cartridge. 0 otherwise,
 * and then nothing else of the directory may be read. The caller vouches
 * for the header's 32 bytes. */
static inline uint32_t zepraDirectoryCount(const uint8_t* image, uint32_t directoryOffset) {
  const uint8_t* header = image + directoryOffset;
  if (zepraLe32(header) != ZEPRA_DIRECTORY_MAGIC) return 0;
  if (zepraLe16(header + ZEPRA_DIRECTORY_VERSION_AT) != ZEPRA_DIRECTORY_VERSION) return 0;
  const uint32_t count = zepraLe16(header + ZEPRA_DIRECTORY_COUNT_AT);
  const uint32_t imageBytes = zepraLe32(header + ZEPRA_DIRECTORY_IMAGE_BYTES_AT);
  if (count == 0 || count > ZEPRA_DIRECTORY_MAX_ENTRIES || imageBytes > ZEPRA_MAX_IMAGE_BYTES) return 0;
  const uint32_t end = directoryOffset + ZEPRA_DIRECTORY_HEADER_BYTES + count * ZEPRA_DIRECTORY_ENTRY_BYTES;
  return end <= imageBytes ? count : 0;
}

/* Entry i of a directory that zepraDirectoryCount accepted. */
static inline const uint8_t* zepraDirectoryEntry(const uint8_t* image, uint32_t directoryOffset, uint32_t i) {
  return image + directoryOffset + ZEPRA_DIRECTORY_HEADER_BYTES + i * ZEPRA_DIRECTORY_ENTRY_BYTES;
}

/* 1 when entry i of an accepted directory can be listed and played: its
 * name ends inside its field, and its stream is aligned, lies behind the
 * directory and inside the image, and is whole. */
static inline int zepraDirectoryEntryValid(const uint8_t* image, uint32_t directoryOffset, uint32_t i) {
  const uint8_t* entry = zepraDirectoryEntry(image, directoryOffset, i);
  int named = 0;
  for (uint32_t c = 0; c < ZEPRA_DIRECTORY_NAME_BYTES && !named; ++c) named = entry[c] == 0;
  if (!named) return 0;
  const uint32_t count = zepraLe16(image + directoryOffset + ZEPRA_DIRECTORY_COUNT_AT);
  const uint32_t imageBytes = zepraLe32(image + directoryOffset + ZEPRA_DIRECTORY_IMAGE_BYTES_AT);
  const uint32_t first = directoryOffset + ZEPRA_DIRECTORY_HEADER_BYTES + count * ZEPRA_DIRECTORY_ENTRY_BYTES;
  const uint32_t offset = zepraLe32(entry + ZEPRA_ENTRY_OFFSET_AT);
  const uint32_t length = zepraLe32(entry + ZEPRA_ENTRY_LENGTH_AT);
  if (offset % ZEPRA_DIRECTORY_STREAM_ALIGNMENT != 0 || offset < first || offset > imageBytes ||
      length > imageBytes - offset)
    return 0;
  return zepraStreamLength(image + offset, length) != 0;
}

#endif /* ZEPRA_FORMAT_DIRECTORY_CHECK_H */
