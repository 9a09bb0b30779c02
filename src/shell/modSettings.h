// The settings file beside the executable: window geometry, start state, media folders.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct Program;

struct Settings {
  int16_t ResX = 0;
  int16_t ResY = 0;
  int16_t WindowTop = 0;
  int16_t WindowLeft = 0;
  bool StartMinimized = false;
  std::string AudioSource;
  std::string AudioDestination;
  std::string VideoSource;
  std::string VideoDestination;
  std::string PictureSource;
  std::string PictureDestination;
  // False when the file or one of the four geometry keys was missing or not a number.
  bool GeometryValid = false;
};

// Lower-cased value of one key of settings.ini, or "" (file read anew on every call).
std::string ReadSetting(Program& p, const std::string& section, const std::string& key);

// Fills p.settings in the fixed reading order.
void LoadSettings(Program& p);

}  // namespace qv
