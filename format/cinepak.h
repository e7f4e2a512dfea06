/* The Cinepak bitstream as the converter writes it and the console player
 * decodes it (C11 and C++20). Cinepak's sizes and chunk ids are big-endian
 * in the stream:
 *
 *   frame header  10 bytes: flags, 24-bit frame length, width, height,
 *                 strip count
 *   strip header  12 bytes: strip type, strip size, top, left, bottom, right
 *   chunk         id byte, a second id byte (0 for every chunk we use),
 *                 16-bit size including these 4 bytes, payload
 *
 * A codebook chunk id is a base id, plus 4 for grey entries (4 luminance
 * bytes instead of 4 luminance and 2 chroma bytes), plus 1 for a partial
 * load (32-bit flag words say which entries follow). */
#ifndef ZEPRA_FORMAT_CINEPAK_H
#define ZEPRA_FORMAT_CINEPAK_H

#define ZEPRA_CINEPAK_FRAME_HEADER_BYTES 10u
#define ZEPRA_CINEPAK_STRIP_HEADER_BYTES 12u
#define ZEPRA_CINEPAK_CHUNK_HEADER_BYTES 4u
#define ZEPRA_CINEPAK_CODEBOOK_ENTRIES 256
/* The longest Cinepak frame kept: its stream record (strip size - 8) still
 * fits the record's 16-bit length. */
#define ZEPRA_MAX_CINEPAK_FRAME_BYTES 0x10005u
#define ZEPRA_CINEPAK_INTRA_STRIP 0x1000
#define ZEPRA_CINEPAK_INTER_STRIP 0x1100

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
namespace zepra {
inline constexpr int kFrameHeaderSize = ZEPRA_CINEPAK_FRAME_HEADER_BYTES;
inline constexpr int kStripHeaderSize = ZEPRA_CINEPAK_STRIP_HEADER_BYTES;
inline constexpr int kChunkHeaderSize = ZEPRA_CINEPAK_CHUNK_HEADER_BYTES;
inline constexpr int kCodebookSize = ZEPRA_CINEPAK_CODEBOOK_ENTRIES;
inline constexpr std::size_t kMaxFrameLength = ZEPRA_MAX_CINEPAK_FRAME_BYTES;
inline constexpr std::uint16_t kIntraStrip = ZEPRA_CINEPAK_INTRA_STRIP;
inline constexpr std::uint16_t kInterStrip = ZEPRA_CINEPAK_INTER_STRIP;
}  /* namespace zepra */
#else
enum {
  kFrameHeaderSize = ZEPRA_CINEPAK_FRAME_HEADER_BYTES,
  kStripHeaderSize = ZEPRA_CINEPAK_STRIP_HEADER_BYTES,
  kChunkHeaderSize = ZEPRA_CINEPAK_CHUNK_HEADER_BYTES,
  kCodebookSize = ZEPRA_CINEPAK_CODEBOOK_ENTRIES,
  kMaxFrameLength = ZEPRA_MAX_CINEPAK_FRAME_BYTES,
  kIntraStrip = ZEPRA_CINEPAK_INTRA_STRIP,
  kInterStrip = ZEPRA_CINEPAK_INTER_STRIP
};
#endif

#ifdef __cplusplus
namespace zepra {
#endif
/* The first id byte of the chunks in a strip; chunks with other ids are
 * skipped by their size. */
enum CinepakChunkId {
  kChunkV4Codebook = 0x20,         /* full load of the V4 codebook */
  kChunkV4CodebookPartial = 0x21,
  kChunkV1Codebook = 0x22,         /* full load of the V1 codebook */
  kChunkV1CodebookPartial = 0x23,
  kChunkV4CodebookGrey = 0x24,
  kChunkV4CodebookGreyPartial = 0x25,
  kChunkV1CodebookGrey = 0x26,
  kChunkV1CodebookGreyPartial = 0x27,
  kChunkIntraVectors = 0x30,  /* per block a V1/V4 flag bit, then its indices */
  kChunkInterVectors = 0x31,  /* per block a coded flag bit, then as intra */
  kChunkV1Vectors = 0x32,     /* one V1 index per block, no flags */
  kChunkGreyStep = 0x04,      /* added to a base codebook id for grey entries */
  kChunkPartialStep = 0x01    /* added to a codebook id for a partial load */
};

#ifdef __cplusplus
}  /* namespace zepra */
#endif

#endif /* ZEPRA_FORMAT_CINEPAK_H */
