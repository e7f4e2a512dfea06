#pragma once
// Checks of the input and output files made before a conversion starts, so
// that a mistake in a file name is reported at once and not after the whole
// video was encoded, and the rules for replacing an existing output.

#include <functional>
#include <string>

#include "cli/command_line.h"
#include "cli/job_settings.h"

namespace zepra::cli {

// The input must be a readable regular file (not a pipe, a device or a
// socket); the output must name a file (not a folder, a device, a pipe or a
// socket; a link counts as the file it names) in an existing, writable
// folder, with a name the folder can hold, and not be the input itself.
Refusal checkInputFile(const std::string& inputPath);
Refusal checkOutputFile(const std::string& outputPath, const std::string& inputPath);

struct OverwriteDecision {
  bool proceed = true;
  std::string message;  // why the output is left alone
};

// Asks the user whether to replace the file named in the question; true is yes.
using AskUser = std::function<bool(const std::string& question)>;

// Whether to go on when the output may exist: always with kAlways; never
// over an existing file with kNever; with kAsk, the answer of the user when
// there is a terminal to ask on (canAsk), else a refusal that names -y.
OverwriteDecision decideOverwrite(const std::string& outputPath, bool outputExists, Overwrite policy,
                                  bool canAsk, const AskUser& ask);

// Writes the question to out and reads one line from in: "y" or "yes", in
// any case, is yes; anything else, the end of the input included, is no.
bool askYesNo(const std::string& question, std::istream& in, std::ostream& out);

}  // namespace zepra::cli
