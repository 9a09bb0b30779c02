// The source side of the two-pane file manager, and the pieces both sides share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct Program;

void FillSourceList(Program& p);
void OpenSourceEntry(Program& p, const std::string& name);
void DeleteSourceSelection(Program& p);
void CreateSourceFolder(Program& p);
void RenameSourceEntry(Program& p);
void RunSourceEntry(Program& p);
void ShowSourceInfo(Program& p);

// The source explorer's selection commands.
void SelectAllFiles(Program& p, const std::string& group, const std::string& name);
void SelectNoFiles(Program& p, const std::string& group, const std::string& name);
void InvertFileSelection(Program& p, const std::string& group, const std::string& name);
void CollectSelection(Program& p, int16_t listIndex);

// What the explorers do when their lists are loaded, tapped and opened.
void RegisterExplorerReactions(Program& p);

// Shared by both explorers.
namespace explorer {

struct Side {
  const char* group;           // "explorersource" or "explorerdestination"
  std::string* path;           // SourcePath or DestinationPath
  const char* driveRequester;  // what ".." at a root tells the drive screen
  bool source;                 // the source side re-marks its selection and owns first list
};

Side SourceSide(Program& p);
void FillList(Program& p, const Side& side);
void OpenEntry(Program& p, const Side& side, const std::string& name);
// Waits, yielding, until the keyboard's "ok" has been pressed.
void WaitForKeyboard(Program& p);
// Typed text usable as one name in a folder: not blank, no separator, not "." or "..".
bool UsableName(const std::string& typed);
void CreateFolder(Program& p, const Side& side);
// Counts and measures the given folders and files into the "explorerinfo" boxes.
void ShowInfo(Program& p, std::vector<std::string> selectedFolders,
              std::vector<std::string> folders, std::vector<std::string> files, bool yieldFirst);
// "2.000 KB", "1.500 MB", ... or "-" below 1024 bytes.
std::string SizeText(double bytes);

}  // namespace explorer

}  // namespace qv
