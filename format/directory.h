/* The directory of a cartridge that carries several videos (C11 and C++20).
 *
 * A cartridge of one video is the player image with the video's stream
 * right behind it. A cartridge of several has a directory there instead,
 * and the streams behind the directory, each exactly as a single video's
 * stream, each starting on a 4-byte boundary (0xFF bytes fill the gaps).
 * All integers are little-endian; offsets count from the image's first byte
 * (cartridge ROM address 0x08000000).
 *
 *   header   32 bytes
 *     0  magic       "ZDIR" (0x5249445A as a word). A stream would start with
 *                    its frame count here, and no stream that fits a
 *                    cartridge has that many frames: the first word tells a
 *                    directory from a stream.
 *     4  version     u16, 1
 *     6  count       u16, 2 .. ZEPRA_DIRECTORY_MAX_ENTRIES videos
 *     8  imageBytes  u32, the image's length before its 0xFF padding
 *    12  saveTypeId  16 bytes, "SRAM_V113" and zeros: emulators and flash
 *                    cartridges look for this text to give the cartridge
 *                    battery-backed save memory; a one-video image has no
 *                    directory and so no save
 *    28  reserved    4 zero bytes
 *   entries  count times 44 bytes, in menu order
 *     0  name        32 bytes: printable ASCII (0x20 .. 0x7E), at most
 *                    ZEPRA_DIRECTORY_NAME_CHARS characters, zero-terminated,
 *                    zeros after the end
 *    32  offset      u32, the stream's first byte; a multiple of 4, behind
 *                    the directory
 *    36  length      u32, the stream's length; offset + length <= imageBytes
 *    40  seconds     u32, the video's duration, shown in the menu
 *
 * The player reads nothing from a directory it has not checked: an entry
 * whose stream lies outside the image, or whose name has no end, is left
 * out of the menu; a bad header or a count outside 1 .. the maximum leaves
 * the screen black. */
#ifndef ZEPRA_FORMAT_DIRECTORY_H
#define ZEPRA_FORMAT_DIRECTORY_H

#define ZEPRA_DIRECTORY_MAGIC 0x5249445Au /* "ZDIR" */
#define ZEPRA_DIRECTORY_VERSION 1u
#define ZEPRA_DIRECTORY_HEADER_BYTES 32u
#define ZEPRA_DIRECTORY_ENTRY_BYTES 44u
/* The menu pages through them; the save keeps a position for each. */
#define ZEPRA_DIRECTORY_MAX_ENTRIES 64u
#define ZEPRA_DIRECTORY_NAME_BYTES 32u
/* What one menu line shows of a name (6-pixel characters on a 240-pixel line). */
#define ZEPRA_DIRECTORY_NAME_CHARS 30u
#define ZEPRA_DIRECTORY_STREAM_ALIGNMENT 4u
#define ZEPRA_DIRECTORY_SAVE_TYPE_ID "SRAM_V113"
#define ZEPRA_DIRECTORY_SAVE_TYPE_ID_BYTES 16u

/* Field offsets in the header and in an entry. */
#define ZEPRA_DIRECTORY_VERSION_AT 4u
#define ZEPRA_DIRECTORY_COUNT_AT 6u
#define ZEPRA_DIRECTORY_IMAGE_BYTES_AT 8u
#define ZEPRA_DIRECTORY_SAVE_TYPE_ID_AT 12u
#define ZEPRA_ENTRY_OFFSET_AT 32u
#define ZEPRA_ENTRY_LENGTH_AT 36u
#define ZEPRA_ENTRY_SECONDS_AT 40u

/* The character drawn for one the console font lacks; the converter puts it
 * in place of such characters so that the name shows where they were. */
#define ZEPRA_DIRECTORY_REPLACEMENT_CHAR '?'

#ifdef __cplusplus
#include <cstdint>
namespace zepra {
inline constexpr std::uint32_t kDirectoryMagic = ZEPRA_DIRECTORY_MAGIC;
inline constexpr std::uint32_t kDirectoryHeaderBytes = ZEPRA_DIRECTORY_HEADER_BYTES;
inline constexpr std::uint32_t kDirectoryEntryBytes = ZEPRA_DIRECTORY_ENTRY_BYTES;
inline constexpr std::uint32_t kMaxDirectoryEntries = ZEPRA_DIRECTORY_MAX_ENTRIES;
inline constexpr std::uint32_t kDirectoryNameBytes = ZEPRA_DIRECTORY_NAME_BYTES;
inline constexpr std::uint32_t kDirectoryNameChars = ZEPRA_DIRECTORY_NAME_CHARS;
}  // namespace zepra
#endif

#endif /* ZEPRA_FORMAT_DIRECTORY_H */
