// A layout source as the painter sees it: every section, decorations included.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "Canvas.h"
#include "platform/Display.h"

namespace skingen {

struct SkinItem {
  int section = 0;
  std::string type;  // lower-cased
  Box pos;
  std::vector<std::pair<std::string, std::string>> commands;
  std::string label;  // as written: the painter keeps capitals
  std::string style;  // lower-cased
  std::string icon;   // lower-cased
  bool hasFont = false;
  qv::FontSpec font;
  Rgb fontColor = 0;
  int align = 1;  // 1 left, 2 centred, 3 right
};

struct SkinScreen {
  std::string name;  // file name without ".ini"
  std::vector<SkinItem> items;
};

// Reads sections "0", "1", ... up to the first without a "Type". False with `error` naming
// file, section and key when a value is malformed.
bool ReadScreen(const std::string& hostPath, SkinScreen* out, std::string* error);

}  // namespace skingen
