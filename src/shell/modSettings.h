// The settings file beside the executable: window geometry, start state, media folders.
#pragma once

#include <cstdint>
#include <string>

#include "core/Settings.h"

namespace qv {

struct Program;

// Lower-cased value of one key of settings.ini, or "" (file read anew on every call).
std::string ReadSetting(Program& p, const std::string& section, const std::string& key);

// Fills p.settings in the fixed reading order.
void LoadSettings(Program& p);

}  // namespace qv
