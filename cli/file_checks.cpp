#include "cli/file_checks.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <istream>
#include <ostream>
#include <system_error>

#include "job/input_check.h"
#include "job/rom_builder.h"

namespace zepra::cli {

namespace fs = std::filesystem;

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

Refusal checkInputFile(const std::string& inputPath) {
  if (std::optional<std::string> problem = inputFileProblem(inputPath)) {
    return "INPUT: " + quoted(inputPath) + " " + *problem;
  }
  return std::nullopt;
}

Refusal checkOutputFile(const std::string& outputPath, const std::string& inputPath) {
  std::error_code error;
  // A link is checked as the file it names, which is what gets the image.
  std::string problem;
  const std::optional<fs::path> target = outputTarget(outputPath, &problem);
  if (!target) return "--output: " + problem;
  const fs::path& output = *target;
  if (fs::is_directory(output, error)) {
    return "--output: " + quoted(outputPath) + " is a folder; name the image file, for example " +
           (output / "movie.gba").string();
  }
  const fs::path folder = output.has_parent_path() ? output.parent_path() : fs::path(".");
  if (!fs::is_directory(folder, error)) {
    return "--output: the folder " + quoted(folder.string()) + " does not exist";
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    return "--output: cannot write in the folder " + quoted(folder.string()) + " (no permission)";
  }
  if (const std::optional<std::string> special = unreplaceableOutput(output)) return "--output: " + *special;
  const std::size_t nameBytes = output.filename().string().size();
  const long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
  if (nameMax > 0 && nameBytes > static_cast<std::size_t>(nameMax)) {
    return "--output: the file name is too long for its folder (" + std::to_string(nameBytes) +
           " bytes, at most " + std::to_string(nameMax) + ")";
  }
  if (fs::exists(output, error) && fs::equivalent(output, inputPath, error)) {
    return "--output: " + quoted(outputPath) + " is the input file itself; choose another name";
  }
  return std::nullopt;
}

OverwriteDecision decideOverwrite(const std::string& outputPath, bool outputExists, Overwrite policy,
                                  bool canAsk, const AskUser& ask) {
  if (!outputExists || policy == Overwrite::kAlways) return {};
  if (policy == Overwrite::kNever) {
    return {false, quoted(outputPath) + " exists and was left as it is (-n)"};
  }
  if (!canAsk) {
    return {false, quoted(outputPath) + " exists; add -y to replace it"};
  }
  if (ask("File " + quoted(outputPath) + " exists. Do you want to replace it? [y/N] ")) return {};
  return {false, quoted(outputPath) + " exists and was left as it is"};
}

bool askYesNo(const std::string& question, std::istream& in, std::ostream& out) {
  out << question << std::flush;
  std::string answer;
  if (!std::getline(in, answer)) {
    out << '\n';
    return false;
  }
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  answer.erase(0, answer.find_first_not_of(" \t"));
  answer.erase(answer.find_last_not_of(" \t\r") + 1);
  return answer == "y" || answer == "yes";
}

}  // namespace zepra::cli
