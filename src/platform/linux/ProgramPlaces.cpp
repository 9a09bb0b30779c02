#include "platform/linux/ProgramPlaces.h"

#include <sys/stat.h>

#include "platform/linux/PosixFileUtil.h"

namespace qv {

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The installation's prefix: the binary's folder is PREFIX/bin.
std::string PrefixOf(const std::string& exeFolder) {
  const std::string parent = FolderOf(exeFolder);
  return parent.empty() ? "/" : parent;
}

}  // namespace

ProgramPlaces FindProgramPlaces(const std::string& exeFolder) {
  ProgramPlaces places;
  if (exeFolder.empty()) return places;
  if (!IsFolder(JoinHost(exeFolder, "Skin"))) {
    const std::string prefix = PrefixOf(exeFolder);
    const std::string share = JoinHost(JoinHost(prefix, "share"), "quorvin");
    places.skinFolder = JoinHost(share, "Skin");
    places.settingsTemplate = JoinHost(share, "settings.ini");
    places.toolsFolder = JoinHost(JoinHost(prefix, "libexec"), "quorvin");
  }
  // Without a home the settings stay where a portable copy has them.
  if (!Exists(JoinHost(exeFolder, "settings.ini"))) places.settingsFile = UserSettingsFile();
  return places;
}

std::string UserSettingsFile() {
  const std::string config = XdgFolder("XDG_CONFIG_HOME", ".config");
  return config.empty() ? "" : JoinHost(JoinHost(config, "quorvin"), "settings.ini");
}

}  // namespace qv
