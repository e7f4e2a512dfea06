#include "cli/cli_app.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <istream>
#include <ostream>
#include <thread>

#include "cli/command_line.h"
#include "cli/estimate_report.h"
#include "cli/exit_codes.h"
#include "cli/file_checks.h"
#include "job/cartridge_layout.h"
#include "platform/job_state.h"

namespace zepra::cli {

namespace {

// How often the waiting thread looks for a signal and for the job's end.
constexpr long kPollNanoseconds = 100'000'000;
// A job that does not stop (stuck where it does not look for a cancel
// request) can still be left.
constexpr int kSignalsToQuit = 3;

// The signals that ask the job to stop: Ctrl-C, a polite kill, a closed
// terminal, Ctrl-\. Blocked in this thread (and the threads it starts) for
// the lifetime of the object, taken synchronously with sigtimedwait. Signals
// still pending at the end are consumed, not delivered.
class CancelSignals {
 public:
  CancelSignals() {
    sigemptyset(&set_);
    for (int signo : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&set_, signo);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
  }
  ~CancelSignals() {
    const timespec none{0, 0};
    while (sigtimedwait(&set_, nullptr, &none) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  CancelSignals(const CancelSignals&) = delete;
  CancelSignals& operator=(const CancelSignals&) = delete;

  // True when a signal arrived within one poll interval.
  bool wait() {
    const timespec interval{0, kPollNanoseconds};
    return sigtimedwait(&set_, nullptr, &interval) > 0;
  }

 private:
  sigset_t set_{};
  sigset_t previous_{};
};

std::string fileSizeText(const std::string& path) {
  std::error_code error;
  const auto bytes = std::filesystem::file_size(path, error);
  if (error) return {};
  return " (" + std::to_string((bytes + 1023) / 1024) + " KiB)";
}

// A note for every video whose menu name differs from the name given or
// taken from its file: cut, or with characters the console cannot show.
void noteChangedNames(const std::vector<CartridgeInput>& videos, std::ostream& err) {
  for (const CartridgeInput& video : videos) {
    const std::string wanted =
        video.name.empty() ? std::filesystem::path(video.inputPath).stem().string() : video.name;
    const std::string shown = video.name.empty() ? defaultVideoName(video.inputPath) : menuName(video.name);
    if (shown == wanted) continue;
    err << "zepra-cli: note: the menu shows \"" << wanted << "\" as \"" << shown << "\" (at most "
        << kMaxMenuNameChars << " characters; those the console cannot show become "
        << ZEPRA_DIRECTORY_REPLACEMENT_CHAR << ")\n";
  }
}

// --estimate: prints the estimate of the image, one video's or the whole
// cartridge's, and converts nothing.
int printEstimate(const CliRequest& request, const CliEnvironment& env) {
  for (const CartridgeInput& video : request.videos) {
    if (Refusal refusal = checkInputFile(video.inputPath)) {
      *env.err << "zepra-cli: " << *refusal << '\n';
      return kExitUsage;
    }
  }
  std::optional<std::string> report;
  if (request.videos.size() > 1) {
    if (env.estimateCartridge) {
      if (const auto estimate = env.estimateCartridge(request.job, request.videos, EstimateDepth::kSampled)) {
        report = request.json ? cartridgeEstimateJson(*estimate, request.videos)
                              : cartridgeEstimateText(*estimate, request.videos);
      }
    }
  } else if (env.estimate) {
    if (const auto estimate = env.estimate(request.job, EstimateDepth::kSampled))
      report = request.json ? estimateJson(*estimate) : estimateText(*estimate);
  }
  if (!report) {
    *env.err << "zepra-cli: no estimate: " << describeResult(kJobInputError) << '\n';
    if (const std::string detail = lastErrorText(); !detail.empty()) *env.err << "zepra-cli: " << detail << '\n';
    return exitCodeForResult(kJobInputError, false);
  }
  *env.out << *report << std::flush;
  return kExitOk;
}

}  // namespace

int runCli(int argc, const char* const argv[], const CliEnvironment& env) {
  std::ostream& err = *env.err;
  const ParsedCommandLine parsed = parseCommandLine(argc, argv);
  switch (parsed.action) {
    case ParsedCommandLine::Action::kShowText:
      *env.out << parsed.text << std::flush;
      return kExitOk;
    case ParsedCommandLine::Action::kRefuse:
      err << "zepra-cli: " << parsed.text << "\nRun \"zepra-cli --help\" to see the options.\n";
      return kExitUsage;
    case ParsedCommandLine::Action::kRun:
      break;
  }
  const CliRequest& request = parsed.request;
  const ConversionJob& job = request.job;
  if (request.estimate) return printEstimate(request, env);

  const bool cartridge = request.videos.size() > 1;
  for (const CartridgeInput& video : request.videos) {
    for (const Refusal& refusal :
         {checkInputFile(video.inputPath), checkOutputFile(job.outputPath, video.inputPath)}) {
      if (refusal) {
        err << "zepra-cli: " << *refusal << '\n';
        return kExitUsage;
      }
    }
  }
  std::error_code existsError;
  const bool outputExists = std::filesystem::exists(job.outputPath, existsError);
  const OverwriteDecision overwrite =
      decideOverwrite(job.outputPath, outputExists, request.overwrite, env.inIsTerminal && env.errIsTerminal,
                      [&](const std::string& question) { return askYesNo(question, *env.in, err); });
  if (!overwrite.proceed) {
    err << "zepra-cli: " << overwrite.message << '\n';
    return kExitNotReplaced;
  }

  const ProgressStyle style = request.quiet      ? ProgressStyle::kQuiet
                              : env.errIsTerminal ? ProgressStyle::kTerminal
                                                  : ProgressStyle::kPlain;
  if (!request.quiet) {
    if (cartridge) {
      noteChangedNames(request.videos, err);
    } else if (!request.videos.front().name.empty()) {
      err << "zepra-cli: note: an image of one video has no menu; --names is not used\n";
    }
  }
  ProgressReporter reporter(err, style, env.clock, static_cast<int>(request.videos.size()));
  resetJobState();
  notifyWindow = &reporter;

  CancelSource cancel;
  int cancelSignals = 0;
  int returned = 0;
  {
    CancelSignals signals;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
      returned = cartridge ? env.runCartridge(job, request.videos, cancel) : env.runJob(job, cancel);
      finished = true;
    });
    while (!finished) {
      if (!signals.wait()) continue;
      ++cancelSignals;
      reporter.finish();
      // Refused only once the image is being put in place: the job then ends
      // with its image, and says so.
      if (cancelSignals == 1) {
        if (cancel.requestCancel() && !request.quiet) err << "zepra-cli: cancelling...\n" << std::flush;
      } else if (cancelSignals == kSignalsToQuit - 1) {
        err << "zepra-cli: still stopping; press Ctrl-C once more to quit at once\n" << std::flush;
      } else if (cancelSignals >= kSignalsToQuit) {
        env.quitNow();
      }
    }
    worker.join();
  }
  notifyWindow = nullptr;
  reporter.finish();

  const int result = reporter.result().value_or(returned);
  const bool cancelled = jobCancelled.load();
  const int exitCode = exitCodeForResult(result, cancelled);
  if (cancelled) {
    err << "zepra-cli: Process Canceled; no image was written\n";
  } else if (result == kJobOk) {
    if (cancelSignals > 0) err << "zepra-cli: the conversion had finished before it could be cancelled\n";
    if (!request.quiet) err << "zepra-cli: wrote " << job.outputPath << fileSizeText(job.outputPath) << '\n';
  } else {
    if (result == kJobUnexpected) {
      err << "zepra-cli: " << describeResult(result) << " (" << result << ")\n";
    } else {
      err << "zepra-cli: Input file error (" << result << "): " << describeResult(result) << '\n';
    }
    if (const std::string detail = lastErrorText(); !detail.empty()) err << "zepra-cli: " << detail << '\n';
  }
  return exitCode;
}

}  // namespace zepra::cli
