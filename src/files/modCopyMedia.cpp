#include "files/modCopyMedia.h"

#include <string>

#include "core/ProfileString.h"
#include "core/Program.h"
#include "files/modCopy.h"
#include "files/modTools.h"
#include "widgets/modButton.h"
#include "widgets/modTextBox.h"

namespace qv {
namespace {

void CopyMediaFolder(Program& p, const std::string& sourceSetting,
                     const std::string& destinationSetting) {
  // The settings reader keeps no more than its limit: a value that reached it may be cut short,
  // and a cut path leads somewhere else.
  for (const std::string* value : {&sourceSetting, &destinationSetting}) {
    if (Utf8Length(*value) < kProfileValueMax) continue;
    const std::string why = "a folder in settings.ini reaches the limit of " +
                            std::to_string(kProfileValueMax) + " characters: " + *value;
    p.os.diag.Warn("copy: not copied: " + why);
    SetText(p, "copy", "status", "Not copied: " + why);
    return;
  }
  // An unset source or one below a missing folder is missing too, not something to copy. A
  // source that is a link to a folder is the folder the user chose.
  const std::string source = FolderPath(sourceSetting);
  if (source.empty() || !PathExists(p, source) || !p.os.files.IsFolder(source, FollowLinks::Yes))
    return;
  const std::string destination = FolderPath(destinationSetting);
  DisableButtons(p, "loadscreen", "*");
  p.explorer.CopyList.assign(1, source);
  p.explorer.ReportGroup = "copy";
  CopyItems(p, source, destination, true);
  DisableButtons(p, "copy", "cancel");
  EnableButtons(p, "loadscreen", "*");
}

}  // namespace

void CopyAudioFolder(Program& p) {
  CopyMediaFolder(p, p.settings.AudioSource, p.settings.AudioDestination);
}

void CopyVideoFolder(Program& p) {
  CopyMediaFolder(p, p.settings.VideoSource, p.settings.VideoDestination);
}

void CopyPictureFolder(Program& p) {
  CopyMediaFolder(p, p.settings.PictureSource, p.settings.PictureDestination);
}

}  // namespace qv
