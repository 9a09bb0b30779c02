#include "shell/modSettings.h"

#include "core/Convert.h"
#include "core/ProfileString.h"
#include "core/Program.h"

namespace qv {

namespace {

std::string SettingsPath(Program& p) {
  return p.os.files.SettingsFile();
}

}  // namespace

std::string ReadSetting(Program& p, const std::string& section, const std::string& key) {
  const Result<std::vector<uint8_t>> bytes = p.os.files.ReadWholeFile(SettingsPath(p));
  if (!bytes.ok()) return std::string();
  return LowerCase(ProfileFile(*bytes).Get(section, key));
}

void LoadSettings(Program& p) {
  Settings& s = p.settings;
  s.VideoSource = ReadSetting(p, "Video", "Source");
  s.VideoDestination = ReadSetting(p, "Video", "Destination");
  s.AudioSource = ReadSetting(p, "Audio", "Source");
  s.AudioDestination = ReadSetting(p, "Audio", "Destination");
  s.PictureSource = ReadSetting(p, "Picture", "Source");
  s.PictureDestination = ReadSetting(p, "Picture", "Destination");

  bool ok = true;
  ok &= ParseInt16(ReadSetting(p, "General", "ResX"), &s.ResX);
  ok &= ParseInt16(ReadSetting(p, "General", "ResY"), &s.ResY);
  ok &= ParseInt16(ReadSetting(p, "General", "Top"), &s.WindowTop);
  ok &= ParseInt16(ReadSetting(p, "General", "Left"), &s.WindowLeft);
  // A window without area cannot hold the screens.
  s.GeometryValid = ok && s.ResX > 0 && s.ResY > 0;
  if (!ParseBool(ReadSetting(p, "General", "StartMinimized"), &s.StartMinimized))
    s.StartMinimized = false;
}

}  // namespace qv
