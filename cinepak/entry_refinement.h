#pragma once
// Once a frame's blocks are chosen, the entries it sends are moved to the
// mean of the vectors that actually use them: a V1 entry was trained on every
// block it might serve, but only the blocks finally coded with it are drawn
// from it (blocks that skip keep their pixels, blocks coded V4 use the other
// book). Choices, indices and sizes stay as they are, so the frame still fits
// its budget; an entry is moved only where the exact display error of its
// users goes down.

#include <span>

#include "cinepak/block_decisions.h"
#include "cinepak/codebook.h"
#include "cinepak/frame_writer.h"
#include "cinepak/source_frame.h"

namespace zepra {

// Moves the entries of `book` that `load` sends; `kind` is kV1 or kV4.
void refineSentEntries(const SourceFrame& source, std::span<const BlockChoice> choices, BlockKind kind,
                       const CodebookLoad& load, bool grey, Codebook& book);

}  // namespace zepra
