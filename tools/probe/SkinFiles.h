// The files of a skin folder on the host, found the way the program finds them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace probe {

struct SkinFiles {
  std::filesystem::path folder;       // the skin folder
  std::vector<std::string> layouts;   // "*.ini" file names, sorted
  std::vector<std::string> pictures;  // "*jpg" file names, sorted

  // Finds the skin folder of an application folder ("Skin" in any case) and lists it.
  bool Read(const std::string& appDir, std::string* error);

  // The layout file of a screen (names compared without regard to case), or "".
  std::string LayoutFileOf(const std::string& screen) const;
  // The screen name of a layout file: the file name without ".ini".
  static std::string ScreenOf(const std::string& layoutFile);
  // True when a picture serves the screen as its enabled look: its name before the first "_"
  // is the screen's, and it carries the word "enabled" (not as part of "disabled").
  bool HasEnabledPicture(const std::string& screen) const;
};

}  // namespace probe
