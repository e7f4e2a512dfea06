// zepra-cli: converts a video into a Game Boy Advance cartridge image.

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>

#include "cli/cli_app.h"
#include "cli/exit_codes.h"
#include "job/cartridge_estimate.h"
#include "job/conversion_job.h"
#include "job/size_estimate.h"
#include "platform/signal_cleanup.h"

int main(int argc, char* argv[]) {
  zepra::installSignalCleanup();
  zepra::cli::CliEnvironment env;
  env.runJob = [](const zepra::ConversionJob& job, zepra::CancelSource& cancel) {
    return zepra::runConversionJob(job, cancel);
  };
  env.runCartridge = [](const zepra::ConversionJob& job, std::span<const zepra::CartridgeInput> inputs,
                        zepra::CancelSource& cancel) { return zepra::runCartridgeJob(job, inputs, cancel); };
  env.quitNow = [] {
    zepra::removeRegisteredFiles();
    std::_Exit(zepra::cli::kExitCancelled);
  };
  env.estimate = [](const zepra::ConversionJob& job, zepra::EstimateDepth depth) {
    return zepra::estimateImageSize(job, depth);
  };
  env.estimateCartridge = [](const zepra::ConversionJob& job, std::span<const zepra::CartridgeInput> inputs,
                              zepra::EstimateDepth depth) { return zepra::estimateCartridgeSize(job, inputs, depth); };
  env.in = &std::cin;
  env.out = &std::cout;
  env.err = &std::cerr;
  env.inIsTerminal = isatty(STDIN_FILENO) == 1;
  env.errIsTerminal = isatty(STDERR_FILENO) == 1;
  env.clock = [] { return std::chrono::steady_clock::now(); };
  return zepra::cli::runCli(argc, argv, env);
}
