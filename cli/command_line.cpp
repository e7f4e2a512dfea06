#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include "job/cartridge_layout.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace zepra::cli {

namespace {

constexpr const char* kDescription =
    "zepra-cli converts a video file into a Game Boy Advance cartridge image that plays\n"
    "the video with its sound, with the same settings as the ZEPRA dialog. Several\n"
    "videos make one cartridge that starts in a menu of them.\n";

constexpr const char* kExamples =
    "\nExamples:\n"
    "  zepra-cli holiday.mp4 -o holiday.gba --title HOLIDAY\n"
    "  zepra-cli talk.avi -o talk.gba --bitrate 60 --framerate 1/3\n"
    "  zepra-cli film.mkv -o film.gba --preset crop -y\n"
    "  zepra-cli film.mkv --estimate\n"
    "  zepra-cli film.mkv -o film.gba --fit 16M\n"
    "  zepra-cli clip.mpg -o clip.gba --trim margins --trim-margins 8,0,8,0 --gamma off\n"
    "  zepra-cli ep1.mkv ep2.mkv ep3.mkv -o season.gba --names \"Pilot,The Storm,Home\"\n"
    "  zepra-cli ep1.mkv ep2.mkv ep3.mkv -o season.gba --fit 32M\n"
    "\n"
    "--trim, --trim-margins, --size, --framerate, --filter and --gamma belong to the\n"
    "manual mode: giving any of them without --preset selects --preset manual.\n"
    "\n"
    "Exit status: 0 when the image was written; 1 for a refused command line;\n"
    "8 when an existing output was not replaced; 130 when cancelled (Ctrl-C);\n"
    "2 to 7 and 9 to 13 when the conversion failed (the README lists them).\n";

// A setting of the manual mode: its option, the text given, and how that
// text changes the job.
struct ManualSetting {
  const char* option;
  std::string text;
  CLI::Option* given = nullptr;
  std::function<Refusal(std::string_view, ConversionJob&)> apply;
};

std::string valueList(std::string_view lead, std::string list, std::string_view tail) {
  return std::string(lead) + list + std::string(tail);
}

std::string number(int value) { return std::to_string(value); }

std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// "240x160"
std::string screenSize() { return number(kScreenWidth) + "x" + number(kScreenHeight); }

// "a,b\\,c" -> {"a", "b,c"}: the names of --names, a backslash keeping a
// comma in a name, spaces around each name dropped.
std::vector<std::string> splitNames(std::string_view text) {
  std::vector<std::string> names(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == ',') {
      names.back().push_back(text[++i]);
    } else if (text[i] == ',') {
      names.emplace_back();
    } else {
      names.back().push_back(text[i]);
    }
  }
  for (std::string& name : names) {
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
  }
  return names;
}

// The first argument that looks like an option but is none of the program's.
// The parser reports a missing INPUT before such an argument, which hides the
// real mistake: often an input whose name starts with a dash.
std::optional<std::string> unknownOption(const CLI::App& app, int argc, const char* const argv[]) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg.size() < 2 || arg[0] != '-') continue;
    // "--name=value", and short options with their value or more flags attached.
    std::string name(arg.substr(0, arg.find('=')));
    if (arg[1] != '-') name.resize(2);
    if (app.get_option_no_throw(name) == nullptr) return std::string(arg);
  }
  return std::nullopt;
}

}  // namespace

ParsedCommandLine parseCommandLine(int argc, const char* const argv[]) {
  ParsedCommandLine parsed;
  CliRequest& request = parsed.request;
  ConversionJob& job = request.job;

  CLI::App app(kDescription, "zepra-cli");
  app.footer(kExamples);
  app.get_formatter()->column_width(34);
  app.set_help_flag("-h,--help", "Show this help and exit");
  app.set_version_flag("--version", std::string("zepra-cli ") + ZEPRA_VERSION, "Show the version and exit");

  std::vector<std::string> inputs;
  app.add_option("INPUT", inputs,
                 "The video to convert (any file FFmpeg can decode that has sound);\n"
                 "several make one cartridge with a menu, in the order given, at most " +
                     number(kMaxCartridgeVideos))
      ->required()
      ->option_text(" ");
  CLI::Option* outputOption =
      app.add_option("-o,--output", job.outputPath, "The cartridge image to write, usually NAME.gba")
          ->option_text("OUTPUT.gba");

  std::string presetText, titleText, bitrateText;
  CLI::Option* presetOption =
      app.add_option("--preset", presetText,
                     "fit: the whole picture, scaled to fit the screen (default)\n"
                     "crop: cut to the screen's 3:2 shape, filling " + screenSize() + "\n"
                     "stretch: the whole picture stretched to " + screenSize() + "\n"
                     "manual: the settings below")
          ->type_name("MODE");
  CLI::Option* titleOption =
      app.add_option("-t,--title", titleText,
                     "Title in the cartridge header, at most " + number(kMaxTitleLength) + " characters")
          ->type_name("TEXT");
  std::string namesText;
  CLI::Option* namesOption =
      app.add_option("--names", namesText,
                     "The menu's names of several inputs, one per input, separated\n"
                     "by commas (\\, for a comma in a name); each is cut to " +
                         number(kMaxMenuNameChars) + "\ncharacters (default: the file names without extension)")
          ->type_name("A,B,...");
  CLI::Option* bitrateOption =
      app.add_option("-b,--bitrate", bitrateText,
                     "Kilobytes of stream per second, " + number(kMinRunnableBitrate) + " to " +
                         number(kBitrateRange.max) + " (default " + number(kDefaultBitrate) +
                         ");\nmore is sharper and bigger")
          ->type_name("KBPS");

  std::string fitText;
  CLI::Option* fitOption =
      app.add_option("--fit", fitText,
                     "Make the image fit SIZE (4M, 8M, 16M, 32M or bytes) with\n"
                     "the best picture the space allows; the bitrate\n"
                     "follows from it (two passes); several videos\n"
                     "share it by their lengths")
          ->type_name("SIZE");
  app.add_flag("--two-pass", job.twoPass,
               "Analyse the video first, then spend the bitrate's\n"
               "bytes where the frames need them");
  app.add_flag("--estimate", request.estimate,
               "Print the likely and the largest image size and\n"
               "the cartridges it fits, and each video's share\n"
               "of several; convert nothing");
  app.add_flag("--json", request.json, "With --estimate: print one JSON object");

  std::vector<ManualSetting> manual;
  manual.push_back({"--trim", {}, nullptr, [](std::string_view t, ConversionJob& j) {
                      return parseTrimMode(t, j.trimMode);
                    }});
  manual.push_back({"--trim-margins", {}, nullptr, parseTrimMargins});
  manual.push_back({"--size", {}, nullptr, parseSize});
  manual.push_back({"--framerate", {}, nullptr, [](std::string_view t, ConversionJob& j) {
                      return parseFrameRate(t, j.frameRateIndex);
                    }});
  manual.push_back({"--filter", {}, nullptr, [](std::string_view t, ConversionJob& j) {
                      return parseFilter(t, j.preFilter);
                    }});
  manual.push_back({"--gamma", {}, nullptr, parseGamma});
  manual[0].given = app.add_option("--trim", manual[0].text,
                                   "none: no trimming (default)\n"
                                   "auto: cut to 3:2 and fill " + screenSize() + "\n"
                                   "margins: cut the --trim-margins off\n"
                                   "auto+margins: cut the margins off, then cut to 3:2")
                        ->type_name("MODE");
  manual[1].given = app.add_option("--trim-margins", manual[1].text,
                                   "Source pixels to cut off at the left, bottom,\n"
                                   "right and top edges, " + number(kTrimMarginRange.min) + " to " +
                                       number(kTrimMarginRange.max) + " each")
                        ->type_name("L,B,R,T");
  manual[2].given = app.add_option("--size", manual[2].text,
                                   "Picture size, multiples of " + number(kSizeStep) + " up to " +
                                       screenSize() + ", or\n"
                                   "auto: keep the shape and fill the screen's width\n"
                                   "or height (default)")
                        ->type_name("WxH|auto");
  manual[3].given =
      app.add_option("--framerate", manual[3].text,
                     valueList("Keep this share of the source's frames:\n", nameList(kFrameRateNames),
                               "\n(auto: 25-30 fps halved, 50-60 fps quartered,\n15 fps and less kept whole; default auto)"))
          ->type_name("RATE");
  manual[4].given = app.add_option("--filter", manual[4].text,
                                   "Colour pre-filter for the console's 15-bit colour:\n" +
                                       nameList(kFilterNames) + " (default " +
                                       std::string(kFilterNames[ConversionJob{}.preFilter]) + ")")
                        ->type_name("FILTER");
  manual[5].given = app.add_option("--gamma", manual[5].text,
                                   "Brightness correction, " + decimal(kMinGamma) + " to " +
                                       decimal(kMaxGamma) + ", or off\n(default " + decimal(kDefaultGamma) +
                                       "; above 1 brightens)")
                        ->type_name("X|off");

  bool yes = false, no = false;
  app.add_flag("-y,--yes", yes, "Replace an existing output without asking");
  app.add_flag("-n,--no-clobber", no, "Never replace an existing output");
  app.add_flag("-q,--quiet", request.quiet, "Print nothing but errors");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    parsed.action = ParsedCommandLine::Action::kShowText;
    parsed.text = app.help();
    return parsed;
  } catch (const CLI::CallForVersion& version) {
    parsed.action = ParsedCommandLine::Action::kShowText;
    parsed.text = std::string(version.what()) + "\n";
    return parsed;
  } catch (const CLI::ParseError& error) {
    parsed.text = error.what();
    if (std::optional<std::string> unknown = unknownOption(app, argc, argv)) {
      parsed.text = "\"" + *unknown + "\": no such option. An input whose name starts with a dash goes after \"--\", "
                    "as in: zepra-cli -o OUTPUT.gba -- " + *unknown;
    }
    return parsed;
  }

  auto refuse = [&parsed](std::string message) {
    parsed.action = ParsedCommandLine::Action::kRefuse;
    parsed.text = std::move(message);
    return parsed;
  };

  if (yes && no) return refuse("-y and -n contradict each other; give one of them");
  for (const std::string& input : inputs) {
    if (input.empty()) return refuse("INPUT: an input file name is empty");
  }
  if (inputs.size() > static_cast<std::size_t>(kMaxCartridgeVideos)) {
    return refuse("INPUT: " + number(static_cast<int>(inputs.size())) + " inputs; a cartridge's menu holds at most " +
                  number(kMaxCartridgeVideos) + " videos");
  }
  job.inputPath = inputs.front();
  std::vector<std::string> names(inputs.size());
  if (namesOption->count() > 0) {
    names = splitNames(namesText);
    if (names.size() != inputs.size()) {
      return refuse("--names: " + number(static_cast<int>(names.size())) + " name(s) for " +
                    number(static_cast<int>(inputs.size())) +
                    " input(s); give one name per input, in the same order, separated by commas");
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i].empty()) {
        return refuse("--names: name " + number(static_cast<int>(i + 1)) + " (for \"" + inputs[i] +
                      "\") is empty; every video needs a name in the menu");
      }
    }
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) request.videos.push_back({inputs[i], names[i]});
  if (request.json && !request.estimate) return refuse("--json: only with --estimate");
  if (!request.estimate && outputOption->count() == 0) return refuse("--output is required");
  if (outputOption->count() > 0 && job.outputPath.empty()) {
    return refuse("--output: the output file name is empty");
  }
  if (presetOption->count() > 0) {
    if (Refusal refusal = parsePreset(presetText, request.preset)) return refuse(*refusal);
  }
  if (titleOption->count() > 0) {
    if (Refusal refusal = parseTitle(titleText, job.romTitle)) return refuse(*refusal);
  }
  if (bitrateOption->count() > 0) {
    if (Refusal refusal = parseBitrate(bitrateText, job.bitrate)) return refuse(*refusal);
  }
  if (fitOption->count() > 0) {
    if (bitrateOption->count() > 0) {
      return refuse("--fit: the bitrate follows from the size; leave --bitrate out");
    }
    if (Refusal refusal = parseImageSize(fitText, job.fitBytes)) return refuse(*refusal);
  }

  // The presets fix every manual setting, as the dialog disables those
  // controls; a manual setting without a preset selects the manual mode.
  bool anyManual = false;
  for (const ManualSetting& setting : manual) {
    if (setting.given->count() == 0) continue;
    anyManual = true;
    if (presetOption->count() > 0 && request.preset != Preset::kManual) {
      return refuse(std::string(setting.option) + ": not available with --preset " + presetText +
                    ", which sets it itself; use --preset manual, or leave --preset out");
    }
  }
  if (anyManual) request.preset = Preset::kManual;
  applyPreset(job, request.preset);
  for (const ManualSetting& setting : manual) {
    if (setting.given->count() == 0) continue;
    if (Refusal refusal = setting.apply(setting.text, job)) return refuse(*refusal);
  }

  const bool marginsGiven = manual[1].given->count() > 0;
  const bool trimGiven = manual[0].given->count() > 0;
  if (marginsGiven && !trimGiven) job.trimMode = TrimMode::kMargins;
  if (marginsGiven && !usesMargins(job.trimMode)) {
    return refuse("--trim-margins: the margins are used only with --trim margins or --trim auto+margins");
  }
  // Automatic trimming always makes a full-screen picture of the screen's shape.
  if (manual[2].given->count() > 0 && !job.keepAspect && usesAutoTrim(job.trimMode)) {
    return refuse("--size: a fixed size cannot be combined with --trim " + manual[0].text +
                  ", which always makes " + screenSize() + "; leave --size out");
  }
  applyAutoTrimRule(job);

  request.overwrite = yes ? Overwrite::kAlways : no ? Overwrite::kNever : Overwrite::kAsk;
  parsed.action = ParsedCommandLine::Action::kRun;
  return parsed;
}

}  // namespace zepra::cli
