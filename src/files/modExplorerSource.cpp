#include "files/modExplorerSource.h"

#include <cstdio>

#include "core/ProfileString.h"
#include "core/Program.h"
#include "files/modExplorerDestination.h"
#include "files/modTools.h"
#include "screens/modScreens.h"
#include "widgets/modButton.h"
#include "widgets/modListbox.h"
#include "widgets/modTextBox.h"

namespace qv {

namespace explorer {

Side SourceSide(Program& p) {
  return Side{"explorersource", &p.explorer.SourcePath, "explorersourcedrive", true};
}

void FillList(Program& p, const Side& side) {
  if (side.source && !p.tables.ListBoxes.empty()) InitList(p, p.tables.ListBoxes[0]);
  const std::string folder = *side.path;
  SetText(p, side.group, "directory", folder);
  ClearListByKey(p, side.group, "filebox");
  std::vector<std::string> files;
  std::vector<std::string> folders;
  ScanFolderTree(p, folder, files, folders, 0, false, false);
  BeginListUpdate(p, side.group, "filebox");
  AddListItem(p, side.group, "filebox", "..", -1);
  for (const std::string& f : folders) {
    std::string name = f.substr(folder.size());
    if (!name.empty() && name.back() == '\\') name.pop_back();
    AddListItem(p, side.group, "filebox", name, 0);
  }
  for (const std::string& f : files)
    AddListItem(p, side.group, "filebox", f.substr(folder.size()), 1);
  if (side.source) {
    const std::vector<int32_t> marks = p.explorer.CopyListIndices;
    for (int32_t position : marks) SetItemSelected(p, side.group, "filebox", position, true);
  }
  EndListUpdate(p, side.group, "filebox");
}

void OpenEntry(Program& p, const Side& side, const std::string& name) {
  std::string& path = *side.path;
  if (name.empty()) return;  // no current entry
  const bool isFolder = p.os.files.IsFolder(path + name + "\\", FollowLinks::No);
  if (name != ".." && !isFolder) return;
  if (name != "..") {
    path += name + "\\";
  } else {
    // Up one level: C:\Music\Rock\ becomes C:\Music\, and C:\ becomes empty.
    const std::string shorter = path.empty() ? path : path.substr(0, path.size() - 1);
    const size_t slash = shorter.rfind('\\');
    path = slash == std::string::npos ? std::string() : shorter.substr(0, slash + 1);
  }
  if (!path.empty()) {
    FillList(p, side);
    return;
  }
  path = p.os.files.ExecutableFolder().substr(0, 3);
  p.explorer.DriveRequester = side.driveRequester;
  ShowScreen(p, "explorerdrive");
}

void WaitForKeyboard(Program& p) {
  struct Waiting {
    bool& flag;
    explicit Waiting(bool& f) : flag(f) { flag = true; }
    ~Waiting() { flag = false; }
  } waiting(p.keyboard.waitingForText);
  while (!p.keyboard.KeyboardConfirmed) Yield(p, true);
}

bool UsableName(const std::string& typed) {
  const std::string trimmed = Trim(typed);
  return !trimmed.empty() && typed.find('\\') == std::string::npos &&
         typed.find('/') == std::string::npos && trimmed != "." && trimmed != "..";
}

namespace {

void ResetKeyboard(Program& p) {
  p.keyboard.KeyboardConfirmed = false;
  p.keyboard.KeyboardText.clear();
}

void SetInfo(Program& p, const std::string& name, const std::string& text) {
  SetText(p, "explorerinfo", name, text);
}

}  // namespace

void CreateFolder(Program& p, const Side& side) {
  p.keyboard.KeyboardText.clear();
  WaitForKeyboard(p);
  const std::string typed = p.keyboard.KeyboardText;
  const std::string target = *side.path + typed;
  if (UsableName(typed) && !PathExists(p, target)) p.os.files.CreateFolder(target);
  FillList(p, side);
  ResetKeyboard(p);
}

std::string SizeText(double bytes) {
  std::string text;
  const char* units[] = {" KB", " MB", " GB"};
  double value = bytes;
  for (const char* unit : units) {
    if (value < 1024) break;
    value /= 1024;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.3f", value);
    text = std::string(buf) + unit;
  }
  return text.empty() ? "-" : text;
}

void ShowInfo(Program& p, std::vector<std::string> selectedFolders,
              std::vector<std::string> folders, std::vector<std::string> files, bool yieldFirst) {
  for (const char* box : {"size", "directoriesfound", "filesfound", "total"}) SetInfo(p, box, "-");
  EnableButtons(p, "explorerinfo", "cancel");
  DisableButtons(p, "loadscreen", "*");
  p.explorer.ReportGroup = "explorerinfo";
  for (const std::string& folder : selectedFolders) {
    if (yieldFirst) Yield(p, false);
    if (ScanFolderTree(p, folder, files, folders, 1, true, true)) p.flags.CancelRequested = true;
    if (p.flags.CancelRequested) break;
  }
  if (!folders.empty()) SetInfo(p, "directoriesfound", std::to_string(folders.size()));
  if (!files.empty()) {
    SetInfo(p, "filesfound", std::to_string(files.size()));
    // Summed in double precision: a float loses bytes long before a folder gets large.
    double sum = 0;
    for (const std::string& file : files) {
      if (p.flags.CancelRequested) break;
      // A length can only be read where the file exists: one probe of the path, not two.
      const Result<uint64_t> length = p.os.files.FileLength(file);
      if (length.ok()) sum += static_cast<double>(*length);
    }
    SetInfo(p, "size", SizeText(sum));
  } else {
    SetInfo(p, "size", "-");
  }
  DisableButtons(p, "explorerinfo", "cancel");
  EnableButtons(p, "loadscreen", "*");
  p.flags.CancelRequested = false;
}

}  // namespace explorer

void FillSourceList(Program& p) {
  explorer::FillList(p, explorer::SourceSide(p));
}

void OpenSourceEntry(Program& p, const std::string& name) {
  explorer::OpenEntry(p, explorer::SourceSide(p), name);
}

void DeleteSourceSelection(Program& p) {
  const std::vector<std::string> entries = p.explorer.CopyList;
  for (std::string entry : entries) {
    Yield(p, false);
    DeleteToRecycleBin(p, entry);
  }
  p.explorer.CopyList.clear();
  p.explorer.CopyListIndices.clear();
  FillSourceList(p);
}

void CreateSourceFolder(Program& p) {
  explorer::CreateFolder(p, explorer::SourceSide(p));
}

void RenameSourceEntry(Program& p) {
  explorer::WaitForKeyboard(p);
  const std::string name = GetCurrentItemText(p, "explorersource", "filebox");
  const std::string typed = p.keyboard.KeyboardText;
  const std::string& folder = p.explorer.SourcePath;
  if (!name.empty() && name != ".." && explorer::UsableName(typed))
    p.os.files.Rename(folder + name, folder + typed);
  FillSourceList(p);
  p.keyboard.KeyboardConfirmed = false;
  p.keyboard.KeyboardText.clear();
}

void RunSourceEntry(Program& p) {
  const std::string name = GetCurrentItemText(p, "explorersource", "filebox");
  const std::string tail = LowerCase(name.size() >= 3 ? name.substr(name.size() - 3) : name);
  if (tail != "exe" && tail != "com" && tail != "bat") return;
  const std::string program = p.explorer.SourcePath + name;
  if (!PathExists(p, program)) return;
  // Quoted, so that names with blanks stay one program path.
  const Result<int64_t> started =
      p.os.processes.Start("\"" + program + "\"", ProgramWindow::Maximised);
  if (!started)
    p.os.diag.Warn("cannot start " + p.os.files.HostPath(program) + ": " +
                   started.status().message());
}

void ShowSourceInfo(Program& p) {
  std::vector<std::string> selected;
  std::vector<std::string> folders;
  std::vector<std::string> files;
  if (p.explorer.CopyList.empty()) {
    selected.push_back(p.explorer.SourcePath);
    folders.push_back(p.explorer.SourcePath);
  } else {
    for (const std::string& entry : p.explorer.CopyList) {
      if (p.os.files.IsFolder(entry, FollowLinks::No)) {
        selected.push_back(entry);
        folders.push_back(entry);
      } else {
        files.push_back(entry);
      }
    }
  }
  explorer::ShowInfo(p, selected, folders, files, true);
}

namespace {

void FileBoxClicked(Program& p, int16_t k) {
  if (k < 0 || k >= static_cast<int16_t>(p.tables.ListBoxes.size())) return;
  ListElement& list = p.tables.ListBoxes[k];
  if (list.Commands.empty() || list.Commands[0].Group != "explorersource") return;
  // ".." must never stay selected, but stays the entry a double tap opens (a single-selection
  // list forgets its current entry with the selection).
  if (list.Commands[0].Name == "filebox" && list.FocusIndex == 0) {
    SetSelected(p, list, 0, false);
    list.ListIndex = 0;
  }
  CollectSelection(p, k);
}

void OpenCurrentItem(Program& p, int16_t k) {
  if (k < 0 || k >= static_cast<int16_t>(p.tables.ListBoxes.size())) return;
  const std::string name = GetItemText(p.tables.ListBoxes[k], -1);
  if (p.tables.ListBoxes[k].HasKey("explorersource", "filebox")) {
    p.explorer.CopyList.clear();
    p.explorer.CopyListIndices.clear();
    OpenSourceEntry(p, name);
  } else {
    OpenDestinationEntry(p, name);
  }
}

}  // namespace

namespace {

enum class Mark { All, None, Invert };

void MarkFiles(Program& p, const std::string& group, const std::string& name, Mark mark) {
  for (size_t i = 0; i < p.tables.ListBoxes.size(); ++i) {
    if (!p.tables.ListBoxes[i].HasKey(group, name)) continue;
    p.tables.ListBoxes[i].Redraw = false;
    const int16_t k = FindList(p, "explorersource", "filebox");
    ListElement& list = p.tables.ListBoxes[i];
    for (int32_t j = 0; j < list.ListCount; ++j) {
      if (list.Items[j] == "..") continue;
      list.Selected[j] = mark == Mark::All ? true : mark == Mark::None ? false : !list.Selected[j];
    }
    CollectSelection(p, k);
    list.Redraw = true;
    RefreshList(p, list);
  }
}

}  // namespace

void SelectAllFiles(Program& p, const std::string& group, const std::string& name) {
  MarkFiles(p, group, name, Mark::All);
}

void SelectNoFiles(Program& p, const std::string& group, const std::string& name) {
  MarkFiles(p, group, name, Mark::None);
}

void InvertFileSelection(Program& p, const std::string& group, const std::string& name) {
  MarkFiles(p, group, name, Mark::Invert);
}

void CollectSelection(Program& p, int16_t listIndex) {
  p.explorer.CopyList.clear();
  p.explorer.CopyListIndices.clear();
  if (listIndex < 0 || listIndex >= static_cast<int16_t>(p.tables.ListBoxes.size())) return;
  const ListElement& list = p.tables.ListBoxes[listIndex];
  for (int32_t j = 0; j < list.ListCount; ++j) {
    if (!list.Selected[j]) continue;
    const std::string path = p.explorer.SourcePath + list.Items[j];
    p.explorer.CopyList.push_back(p.os.files.IsFolder(path, FollowLinks::No) ? path + "\\" : path);
    p.explorer.CopyListIndices.push_back(j);
  }
}

void RegisterExplorerReactions(Program& p) {
  Reactions& r = p.reactions;
  r.listClicked.Register("explorersource", "*", FileBoxClicked);
  r.listOpened.Register("explorersource", "filebox", OpenCurrentItem);
  r.listOpened.Register("explorerdestination", "filebox", OpenCurrentItem);
  r.listLoaded.Register("explorersource", "filebox",
                        [](Program& q, int16_t) { FillSourceList(q); });
  r.listLoaded.Register("explorerdestination", "filebox",
                        [](Program& q, int16_t) { FillDestinationList(q); });
}

}  // namespace qv
