#pragma once
// Turns trained centroids into what a frame sends: entry bytes, and for inter
// frames the choice of which entries are worth their bytes. An entry is sent
// when the error it saves on the vectors it serves outweighs lambda times its
// bits; all others keep what the player already holds, so the codebook the
// blocks are then matched against is exactly the player's.

#include <span>

#include "cinepak/codebook.h"
#include "cinepak/frame_writer.h"

namespace zepra {

// Centroid to entry bytes (rounded, clamped); grey entries get U = V = 0.
EntryBytes quantizeEntry(const Vector6& centroid, bool grey);

struct TrainedCodebook {
  const SearchTable* centroids;
  std::span<const Vector6> vectors;
  std::span<const int> assignment;       // entry of each vector
  std::span<const int> startAssignment;  // nearest entry the player's codebook offers
  std::span<const float> startDistance;  // distance to it
  float distanceToRgb;                   // kV4DistanceToRgb or kV1DistanceToRgb
  float bitsPerVector;                   // what recoding a vector's block costs, per vector
  // When not empty: the distance each vector's block gets from its other
  // options (skip, the other book) less the bits it would save; an entry
  // that cannot beat it buys that vector nothing, and what it saves below it
  // is the block's whole gain (the block's bits are counted in it).
  std::span<const float> ceiling = {};
};

// Intra frames: every trained entry, packed into entries 0.., loaded in full.
CodebookLoad loadAll(const TrainedCodebook& trained, bool grey, Codebook& result);

// Inter frames: result = current with the entries worth sending replaced,
// the most valuable first, in at most maxBytes of chunk. An entry's value is
// what it saves on each vector it serves beyond the bits of recoding that
// vector's block (so tiny refinements of a still picture are not sent; with
// a ceiling, the bits are in the ceiling), less what replacing it costs the
// vectors its old value served best.
CodebookLoad loadChanges(const TrainedCodebook& trained, const Codebook& current, float lambda, std::size_t maxBytes,
                         bool grey, Codebook& result);

}  // namespace zepra
