// The skin engine's surfaces, pictures and screen names of the running program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Display.h"

namespace qv {

struct SkinImage {
  std::string name;    // file name without folder and ".jpg", case as on disk
  SurfacePtr surface;  // null when the file could not be decoded
};

// DrawState values.
enum { kDrawActive = 0, kDrawDisabled = 1, kDrawEnabled = 2 };

struct SkinState {
  SurfacePtr BackBuffer;
  SurfacePtr SavedScreen;
  std::vector<SkinImage> SkinImages;
  SurfacePtr StateImages[3];  // 0 enabled, 1 disabled, 2 active
  int16_t DesignWidth = 0;
  int16_t DesignHeight = 0;
  float ScaleX = 1.0f;
  float ScaleY = 1.0f;
  std::string CurrentScreen;
  std::string PreviousScreen;
  uint32_t screenChanges = 0;  // counts ShowScreen calls
  // The back buffer's text font and its one fore colour, used for text and for outlines alike.
  FontSpec textFont;
  Color foreColor = 0;
};

}  // namespace qv
