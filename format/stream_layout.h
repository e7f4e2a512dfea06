/* The stream file the console player reads (C11 and C++20). All integers the
 * encoder writes are little-endian:
 *
 *   header   frameCount (u32), playbackStep (u32, 16.16 stream frames per
 *            display refresh), width | height << 16 (u32)
 *   records  frameCount times: length | stripType << 16 (u32), then
 *            length - 4 bytes of Cinepak strip data (the chunks behind the
 *            12-byte strip header, big-endian as Cinepak has them)
 *   trailer  block count B (u32), then B blocks of 4-bit ADPCM sound
 *            (format/adpcm_tables.h)
 *
 * Each record holds the single strip of one frame, covering the whole frame;
 * the Cinepak frame and strip headers (format/cinepak.h) are left out because
 * every field in them but the strip type is fixed by these rules. */
#ifndef ZEPRA_FORMAT_STREAM_LAYOUT_H
#define ZEPRA_FORMAT_STREAM_LAYOUT_H

#include "format/cinepak.h"

#define ZEPRA_STREAM_HEADER_BYTES 12u
#define ZEPRA_RECORD_PREFIX_BYTES 4u
/* The record of the longest Cinepak frame kept (strip size - 8): 65523
 * bytes, within the 16-bit length. */
#define ZEPRA_MAX_RECORD_BYTES (ZEPRA_MAX_CINEPAK_FRAME_BYTES - ZEPRA_CINEPAK_FRAME_HEADER_BYTES - 8u)

#endif /* ZEPRA_FORMAT_STREAM_LAYOUT_H */
