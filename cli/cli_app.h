#pragma once
// zepra-cli from its arguments to its exit status: parse the command line,
// check the files, settle an existing output, run the job with progress on
// standard error, cancel it on Ctrl-C (SIGINT) or SIGTERM, and report the
// outcome. The job itself and its cancellation come from outside, so that
// the program runs the real job and tests can run a double of it.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "cli/progress_reporter.h"
#include "job/conversion_job.h"
#include "job/size_estimate.h"

namespace zepra::cli {

struct CliEnvironment {
  // Runs one job on the calling thread and posts its result (runConversionJob).
  std::function<int(const ConversionJob&)> runJob;
  // Asks the running job to stop (the cancel event); false when none runs.
  std::function<bool()> cancelJob;
  // Ends the program at once, job and all: the third Ctrl-C, when the
  // cancel request has not stopped the job.
  std::function<void()> quitNow;
  // The size estimate of a job (estimateImageSize); nothing, with
  // lastErrorText set, when the input cannot be read. May be empty.
  std::function<std::optional<SizeEstimate>(const ConversionJob&, EstimateDepth)> estimate;
  // The input's length in source frames, for the progress line; may be empty.
  std::function<std::optional<std::uint64_t>(const std::string& inputPath)> countFrames;
  std::istream* in = nullptr;
  std::ostream* out = nullptr;
  std::ostream* err = nullptr;
  // Standard input and standard error on a terminal: the user can be asked
  // about an existing output (both), and progress is one updating line (error).
  bool inIsTerminal = false;
  bool errIsTerminal = false;
  SteadyClock clock;
};

// Blocks SIGINT and SIGTERM in the calling thread while the job runs and
// takes them as cancel requests; the job must not start threads that
// unblock them.
int runCli(int argc, const char* const argv[], const CliEnvironment& env);

}  // namespace zepra::cli
