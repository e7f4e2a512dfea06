#pragma once
// A cartridge of several videos: every input converted with the same
// settings into a stream of its own, then one image with the player, the
// menu's directory and the streams. With one input the image is exactly the
// one-video image of runConversionJob.

#include <span>
#include <string>

#include "input/decoding_graph.h"
#include "job/conversion_job.h"

namespace zepra {

struct CartridgeInput {
  std::string inputPath;
  std::string name;  // cut and made showable by menuName; empty: defaultVideoName
};

// The menu name of an input: its file name without the extension, with the
// characters the console lacks replaced and cut to what a menu line shows.
std::string defaultVideoName(const std::string& inputPath);

// Converts every input with the settings of `job` (its inputPath is not
// used) and writes job.outputPath. Progress covers the whole cartridge: each
// input's share of the way, and a status "video i of n: NAME" when it starts.
// The first input that fails ends the job with its result code; lastErrorText
// then names the input, and nothing is written. Cancelling works as in
// runConversionJob. Posts exactly one completion.
int runCartridgeJob(const ConversionJob& job, std::span<const CartridgeInput> inputs, CancelSource& cancel,
                    const DecodingGraphFactory& makeGraph = createDecodingGraph);

}  // namespace zepra
