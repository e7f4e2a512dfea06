#pragma once
// A cartridge of several videos: every input converted with the same
// settings into a stream of its own, then one image with the player, the
// menu's directory and the streams. With one input the image is exactly the
// one-video image of runConversionJob.

#include <span>
#include <string>

#include "input/decoding_graph.h"
#include "job/cartridge_layout.h"
#include "job/conversion_job.h"

namespace zepra {

struct CartridgeInput {
  std::string inputPath;
  std::string name;  // cut and made showable by menuName; empty: defaultVideoName
};

// Converts every input with the settings of `job` (its inputPath is not
// used) and writes job.outputPath. Progress covers the whole cartridge: each
// input's share of the way, and a status "video i of n: NAME" when it starts.
// The first input that fails ends the job with its result code; lastErrorText
// then names the input, and nothing is written. Cancelling works as in
// runConversionJob. Posts exactly one completion.
//
// Several inputs are planned as a whole before the first frame: no inputs or
// more than the menu holds, and videos whose lowest image passes 32 MiB (or
// job.fitBytes) are refused at once (kJobRomFailed, saying how long they could
// be); the conversion stops as soon as the image so far passes 32 MiB. With
// job.fitBytes, what the target leaves after the player, the directory and
// the streams' fixed parts is shared out by the videos' lengths, each video
// converted in two passes with its share; job.twoPass converts each video in
// two passes at the bitrate. With one input the image is runConversionJob's.
int runCartridgeJob(const ConversionJob& job, std::span<const CartridgeInput> inputs, CancelSource& cancel,
                    const DecodingGraphFactory& makeGraph = createDecodingGraph);

}  // namespace zepra
