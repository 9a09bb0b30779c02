#include "files/modCopyMedia.h"

#include <string>

#include "files/modCopy.h"
#include "files/modTools.h"
#include "core/Program.h"
#include "widgets/modButton.h"

namespace qv {
namespace {

void CopyMediaFolder(Program& p, const std::string& source, const std::string& destination) {
  // An unset source or one below a missing folder is missing too, not something to copy.
  if (source.empty() || !PathExists(p, source) || !p.os.files.IsFolder(source)) return;
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
