#pragma once
// A plain, literal conversion: every box and every weight computed where it
// is used, the brightness table built per call. The fast converter must give
// the same bytes; the benchmark measures against it.

#include <cstdint>
#include <vector>

#include "video/frame_converter.h"

namespace zepra::test {

std::vector<std::uint8_t> referenceConvert(const ConversionSetup& setup, const std::uint8_t* source);

}  // namespace zepra::test
