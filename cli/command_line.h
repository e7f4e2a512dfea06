#pragma once
// The command line of zepra-cli: the inputs, the output, every setting of
// the dialog, the menu names of a cartridge of several videos, and what to
// do about an existing output, turned into a ConversionJob with the
// dialog's defaults.

#include <string>
#include <vector>

#include "cli/job_settings.h"
#include "job/cartridge_job.h"
#include "job/settings_model.h"

namespace zepra::cli {

// What to do when the output file exists already.
enum class Overwrite { kAsk, kAlways, kNever };

struct CliRequest {
  ConversionJob job;  // its inputPath is the first input
  // Every input in menu order, with its --names entry (empty without
  // --names). One input makes a one-video image, several a cartridge.
  std::vector<CartridgeInput> videos;
  Preset preset = kDefaultPreset;
  Overwrite overwrite = Overwrite::kAsk;
  bool quiet = false;
  // Print the size estimate instead of converting; JSON instead of lines.
  bool estimate = false;
  bool json = false;
};

struct ParsedCommandLine {
  enum class Action {
    kRun,       // request holds the job to run
    kShowText,  // --help or --version: print text to standard output, exit 0
    kRefuse,    // text says what is wrong with the command line
  };
  Action action = Action::kRefuse;
  CliRequest request;
  std::string text;
};

// argv[0] is the program's name; the others are the arguments.
ParsedCommandLine parseCommandLine(int argc, const char* const argv[]);

}  // namespace zepra::cli
