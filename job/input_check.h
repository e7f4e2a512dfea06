#pragma once
// What the job needs of its input file, checked before anything is opened.

#include <optional>
#include <string>

namespace zepra {

// What keeps the file named by path from being an input, as the end of a
// sentence about it ("does not exist"); empty when it can be converted.
// The input is opened more than once (its header is probed before it is
// decoded), so it must be a regular file, or a link to one: a pipe would give
// its data to the first reader only, and opening one without a writer blocks.
// The file is examined, never opened.
std::optional<std::string> inputFileProblem(const std::string& path);

// The same, for what the job refuses before it starts: only a special file
// (pipe, device, socket). A missing or unreadable file is left to the
// decoding graph, which names the reason in its own words.
std::optional<std::string> specialInputProblem(const std::string& path);

}  // namespace zepra
