#include "files/modExplorerDestination.h"

#include "core/Program.h"
#include "files/modCopy.h"
#include "files/modExplorerSource.h"
#include "files/modTools.h"
#include "widgets/modButton.h"

namespace qv {

namespace {

explorer::Side DestinationSide(Program& p) {
  return explorer::Side{"explorerdestination", &p.explorer.DestinationPath,
                        "explorerdestinationdrive", false};
}

void CopySelectionHere(Program& p) {
  DisableButtons(p, "loadscreen", "*");
  CopyItems(p, p.explorer.SourcePath, p.explorer.DestinationPath, false);
  FillDestinationList(p);
  EnableButtons(p, "loadscreen", "*");
  DisableButtons(p, "copy", "cancel");
}

void CopyToMediaFolder(Program& p, const std::string& destination) {
  p.explorer.ReportGroup = "copy";
  p.explorer.DestinationPath = FolderPath(destination);
  CopySelectionHere(p);
}

}  // namespace

void FillDestinationList(Program& p) {
  explorer::FillList(p, DestinationSide(p));
}

void OpenDestinationEntry(Program& p, const std::string& name) {
  explorer::OpenEntry(p, DestinationSide(p), name);
}

void CreateDestinationFolder(Program& p) {
  explorer::CreateFolder(p, DestinationSide(p));
}

void ShowDestinationInfo(Program& p) {
  const std::string folder = p.explorer.DestinationPath;
  explorer::ShowInfo(p, {folder}, {folder}, {}, false);
}

void PasteSelection(Program& p) {
  p.explorer.ReportGroup = "copy";
  CopySelectionHere(p);
}

void CopyToAudioFolder(Program& p) {
  CopyToMediaFolder(p, p.settings.AudioDestination);
}
void CopyToVideoFolder(Program& p) {
  CopyToMediaFolder(p, p.settings.VideoDestination);
}
void CopyToPictureFolder(Program& p) {
  CopyToMediaFolder(p, p.settings.PictureDestination);
}

}  // namespace qv
