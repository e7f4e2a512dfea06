#pragma once
// The input's length in source frames, for the progress line: the base of
// the progress the job reports, so that frames done = total x permille / 1000.

#include <cstdint>
#include <optional>
#include <string>

namespace zepra::cli {

// Opens the input with the decoding graph just far enough to ask its
// length; nothing when the input cannot tell (the job then reports why).
std::optional<std::uint64_t> countSourceFrames(const std::string& inputPath);

}  // namespace zepra::cli
