// The values read from the settings file beside the executable.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

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

}  // namespace qv
