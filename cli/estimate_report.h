#pragma once
// The size estimate as zepra-cli prints it: a few lines for a person, or one
// JSON object for a program.

#include <span>
#include <string>

#include "job/cartridge_estimate.h"
#include "job/size_estimate.h"
#include "job/size_text.h"

namespace zepra::cli {

std::string estimateText(const SizeEstimate& estimate);
std::string estimateJson(const SizeEstimate& estimate);

// A cartridge of several videos: the whole image, then a line (an object in
// "videos") per video, named as the menu shows it, with what its stream adds.
std::string cartridgeEstimateText(const CartridgeEstimate& estimate, std::span<const CartridgeInput> inputs);
std::string cartridgeEstimateJson(const CartridgeEstimate& estimate, std::span<const CartridgeInput> inputs);

}  // namespace zepra::cli
