#pragma once
// The size estimate as zepra-cli prints it: a few lines for a person, or one
// JSON object for a program.

#include <string>

#include "job/size_estimate.h"
#include "job/size_text.h"

namespace zepra::cli {

std::string estimateText(const SizeEstimate& estimate);
std::string estimateJson(const SizeEstimate& estimate);

}  // namespace zepra::cli
