// Where the program's own files are: beside its binary (a build folder or a portable copy), or
// spread over the system's folders when it is installed.
#pragma once

#include <string>

namespace qv {

// Host paths; an empty one means the place beside the binary.
struct ProgramPlaces {
  std::string settingsFile;
  std::string skinFolder;
  std::string toolsFolder;
  // The installed defaults a user's first settings start from; empty for a portable copy.
  std::string settingsTemplate;
};

// A binary with a Skin folder beside it is a portable copy: everything stays beside it.
// Otherwise it is installed, with the skin and the settings template in ../share/quorvin and
// the tools in ../libexec/quorvin. The settings are a settings.ini beside the binary in both
// cases when there is one (whether readable or not), else the user's (UserSettingsFile).
ProgramPlaces FindProgramPlaces(const std::string& exeFolder);

// $XDG_CONFIG_HOME/quorvin/settings.ini, or below ~/.config; empty without a home.
std::string UserSettingsFile();

}  // namespace qv
