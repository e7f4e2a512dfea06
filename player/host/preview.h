#pragma once
// Plays a cartridge image headless and keeps what a viewer would see and
// hear: screenshots at chosen display refreshes, a contact sheet of them, and
// the sound of the whole run.

#include <filesystem>
#include <string>
#include <vector>

namespace zepra {

struct PreviewOptions {
  std::filesystem::path image;
  std::filesystem::path outputFolder;
  std::vector<int> refreshes;  // when to take screenshots, strictly ascending
  bool sheet = true;           // sheet.png: all screenshots in one picture
  bool sound = true;           // sound.wav: everything played until the last screenshot
};

// The refreshes of `count` screenshots `every` refreshes apart, the first
// after `every` refreshes.
std::vector<int> evenlySpacedRefreshes(int count, int every);

// Writes screen-NNNNN.png per refresh (NNNNN = the refresh), sheet.png and
// sound.wav into the output folder, creating it if needed. False with `error`
// set when the image is refused or a file cannot be written; the image is
// checked before anything is written.
bool runPreview(const PreviewOptions& options, std::string& error);

}  // namespace zepra
