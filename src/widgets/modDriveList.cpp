#include "widgets/modDriveList.h"

#include "core/Drives.h"
#include "core/Program.h"
#include "skin/modForm.h"
#include "widgets/modButton.h"
#include "widgets/modListbox.h"

namespace qv {

namespace {

bool ValidIndex(const Program& p, int16_t index) {
  return index >= 0 && index < static_cast<int16_t>(p.tables.DriveLists.size());
}

void CopyWhole(Program& p, Surface& dst, const Surface& src) {
  const Rect all{0, 0, src.Width(), src.Height()};
  p.os.display.StretchCopy(dst, all, src, all);
}

void OpenMenu(Program& p, ListElement& list, const std::vector<std::string>& captions) {
  if (p.skin.BackBuffer && p.skin.SavedScreen)
    CopyWhole(p, *p.skin.SavedScreen, *p.skin.BackBuffer);
  // Nothing may draw over the open menu.
  p.os.events.SetTimer(kCpuTimer, kCpuTimerInterval, false);
  const std::string current = GetItemText(list, 0);
  ClearList(p, list);
  p.driveMenu.ClosedHeight = list.Height;
  list.Height = p.settings.ResY;
  InitList(p, list);
  AppendItem(p, list, current);
  for (size_t k = 0; k < captions.size(); ++k) {
    AppendItem(p, list, captions[k]);
    SetSelected(p, list, static_cast<int32_t>(k + 1), true);
  }
  list.MenuOpen = true;
}

void CloseMenu(Program& p, ListElement& list) {
  const std::string chosen = GetItemText(list, -1);
  ClearList(p, list);
  list.Height = p.driveMenu.ClosedHeight;
  InitList(p, list);
  AppendItem(p, list, chosen);
  for (ListElement& other : p.tables.DriveLists) other.MenuOpen = false;
  if (p.skin.BackBuffer && p.skin.SavedScreen)
    CopyWhole(p, *p.skin.BackBuffer, *p.skin.SavedScreen);
  PresentBackBuffer(p, true);
  p.os.events.SetTimer(kCpuTimer, kCpuTimerInterval, true);
}

}  // namespace

void ToggleDriveMenu(Program& p, int16_t index) {
  if (!ValidIndex(p, index)) return;
  ListElement& list = p.tables.DriveLists[index];
  if (list.DriveLocked) {
    SetSelected(p, list, 0, false);
    return;
  }
  const std::vector<std::string> captions = GetDriveList(p);
  list.Redraw = false;
  if (!list.MenuOpen) {
    OpenMenu(p, list, captions);
  } else {
    CloseMenu(p, list);
  }
  list.Redraw = true;
  RefreshList(p, list);
}

void DriveListClicked(Program& p, int16_t index) {
  if (!ValidIndex(p, index)) return;
  ListElement& list = p.tables.DriveLists[index];
  // A busy function holds the list: the tap only takes back its highlight, and nothing the
  // screen does on a choice (an analysis, its cancel button) may run inside that function.
  const bool locked = list.DriveLocked;
  ToggleDriveMenu(p, index);
  if (locked) return;
  list.ChosenDrive = GetItemText(list, 0);
  const std::string group = list.Commands.empty() ? std::string() : list.Commands[0].Group;
  const bool mainDrive = !list.Commands.empty() && list.Commands[0].Name == "maindrive";
  const bool open = list.MenuOpen;
  const std::string chosen = list.ChosenDrive;
  const std::string name = list.Commands.empty() ? std::string() : list.Commands[0].Name;
  if (group == "systeminfo") {
    p.reactions.driveChosen.Run(p, group, name, index, open);
    return;
  }
  if (group == "defrag") {
    DisableButtons(p, "defrag", "cancel");
    p.reactions.driveChosen.Run(p, group, name, index, open);
    return;
  }
  if (group == "explorerdrive") {
    if (mainDrive && open) {
      DisableButtons(p, "loadscreen", "*", true);
    } else {
      EnableButtons(p, "loadscreen", "*", true);
    }
  }
  if (group == "checkhdd") DisableButtons(p, "checkhdd", "cancel");
  if (mainDrive) {
    if (p.explorer.DriveRequester == "explorersourcedrive")
      p.explorer.SourcePath = chosen.substr(0, 2) + "\\";
    if (p.explorer.DriveRequester == "explorerdestinationdrive")
      p.explorer.DestinationPath = chosen.substr(0, 2) + "\\";
  }
}

void LockDriveList(Program& p, const std::string& group, const std::string& name) {
  for (ListElement& l : p.tables.DriveLists)
    if (l.HasKey(group, name)) l.DriveLocked = true;
}

void UnlockDriveList(Program& p, const std::string& group, const std::string& name) {
  for (ListElement& l : p.tables.DriveLists)
    if (l.HasKey(group, name)) l.DriveLocked = false;
}

std::string GetChosenDrive(Program& p, const std::string& group, const std::string& name) {
  std::string chosen;
  for (const ListElement& l : p.tables.DriveLists)
    if (l.HasKey(group, name)) chosen = l.ChosenDrive;
  return chosen;
}

void ShowOwnDrive(Program& p, int16_t index) {
  if (!ValidIndex(p, index)) return;
  const std::string root = p.os.files.ExecutableFolder().substr(0, 3);
  p.tables.DriveLists[index].ChosenDrive = root;
  const std::string caption = GetDriveCaption(p, root);
  AppendItem(p, p.tables.DriveLists[index], caption);
}

}  // namespace qv
