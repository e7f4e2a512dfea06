// zepra-preview: plays a .gba image headless in an emulator and writes what
// it shows and plays, so a conversion can be seen without the console.

#include <CLI/CLI.hpp>

#include <cstdio>

#include "format/screen.h"
#include "player/host/preview.h"

int main(int argc, char** argv) {
  CLI::App app{"Plays a Game Boy Advance image headless and writes screenshots, a contact sheet "
               "and the sound it plays."};
  zepra::PreviewOptions options;
  int count = 6;
  double everySeconds = 1.0;
  std::vector<int> at;
  bool noSheet = false, noSound = false;
  app.add_option("image", options.image, "the .gba image to play")->required()->check(CLI::ExistingFile);
  app.add_option("-o,--out", options.outputFolder, "folder for the pictures and the sound")->required();
  app.add_option("-n,--frames", count, "number of screenshots")->check(CLI::Range(1, 1000));
  app.add_option("--every", everySeconds, "seconds between screenshots")->check(CLI::Range(0.02, 600.0));
  app.add_option("--at", at, "display refreshes to take screenshots at (59.73 per second), instead")
      ->check(CLI::Range(1, 1 << 24));
  app.add_flag("--no-sheet", noSheet, "no contact sheet");
  app.add_flag("--no-sound", noSound, "no sound.wav");
  CLI11_PARSE(app, argc, argv);

  if (at.empty()) {
    options.refreshes = zepra::evenlySpacedRefreshes(count, std::max(1, static_cast<int>(everySeconds * zepra::kHardwareRefreshRate + 0.5)));
  } else {
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    options.refreshes = at;
  }
  options.sheet = !noSheet;
  options.sound = !noSound;
  std::string error;
  if (!zepra::runPreview(options, error)) {
    std::fprintf(stderr, "zepra-preview: %s\n", error.c_str());
    return 1;
  }
  std::printf("Wrote %zu screenshot(s)%s%s to %s\n", options.refreshes.size(), options.sheet ? ", sheet.png" : "",
              options.sound ? ", sound.wav" : "", options.outputFolder.c_str());
  return 0;
}
