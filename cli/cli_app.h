#pragma once
// zepra-cli from its arguments to its exit status: parse the command line,
// check the files, settle an existing output, run the job with progress on
// standard error, cancel it on Ctrl-C (SIGINT), SIGTERM, SIGHUP (a closed
// terminal) or SIGQUIT, and report the outcome. The job itself comes from
// outside, so that the program runs the real job and tests can run a double
// of it; a cancel reaches only the job of this process.

#include <functional>
#include <iosfwd>
#include <span>
#include <string>

#include "cli/progress_reporter.h"
#include "job/cartridge_estimate.h"
#include "job/cartridge_job.h"
#include "job/conversion_job.h"
#include "job/size_estimate.h"
#include "platform/cancel_source.h"

namespace zepra::cli {

struct CliEnvironment {
  // Runs one job on the calling thread and posts its result
  // (runConversionJob); the job stops when cancel asks it to. Never throws.
  std::function<int(const ConversionJob&, CancelSource& cancel)> runJob;
  // The same for a cartridge of several inputs (runCartridgeJob).
  std::function<int(const ConversionJob&, std::span<const CartridgeInput>, CancelSource& cancel)> runCartridge;
  // Ends the program at once, job and all, removing its temporary files:
  // the third Ctrl-C, when the cancel request has not stopped the job.
  std::function<void()> quitNow;
  // The size estimate of a job (estimateImageSize); nothing, with
  // lastErrorText set, when the input cannot be read. May be empty.
  std::function<std::optional<SizeEstimate>(const ConversionJob&, EstimateDepth)> estimate;
  // The same for a cartridge of several inputs (estimateCartridgeSize).
  std::function<std::optional<CartridgeEstimate>(const ConversionJob&, std::span<const CartridgeInput>,
                                                 EstimateDepth)>
      estimateCartridge;
  std::istream* in = nullptr;
  std::ostream* out = nullptr;
  std::ostream* err = nullptr;
  // Standard input and standard error on a terminal: the user can be asked
  // about an existing output (both), and progress is one updating line (error).
  bool inIsTerminal = false;
  bool errIsTerminal = false;
  SteadyClock clock;
};

// Blocks the cancelling signals in the calling thread while the job runs
// and takes them as cancel requests; the job must not start threads that
// unblock them.
int runCli(int argc, const char* const argv[], const CliEnvironment& env);

}  // namespace zepra::cli
