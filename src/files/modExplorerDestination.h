// The destination side of the two-pane file manager: where copies go.
#pragma once

#include <string>

namespace qv {

struct Program;

void FillDestinationList(Program& p);
void OpenDestinationEntry(Program& p, const std::string& name);
void CreateDestinationFolder(Program& p);
void ShowDestinationInfo(Program& p);
void PasteSelection(Program& p);
void CopyToAudioFolder(Program& p);
void CopyToVideoFolder(Program& p);
void CopyToPictureFolder(Program& p);

}  // namespace qv
