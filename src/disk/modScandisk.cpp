#include "disk/modScandisk.h"

#include <cstring>
#include <vector>

#include "core/ProfileString.h"
#include "core/Program.h"
#include "widgets/modButton.h"
#include "widgets/modDriveList.h"
#include "widgets/modStatusbar.h"
#include "widgets/modTextBoxMultiline.h"

namespace qv {

void StartDiskCheck(Program& p) {
  // The start button is disabled while a check runs; a start that still arrives must not nest a
  // second run inside the first.
  if (p.disk.checkRunning) return;
  p.disk.checkRunning = true;
  DisableButtons(p, "checkhdd", "start");
  DisableButtons(p, "loadscreen", "*");
  EnableButtons(p, "checkhdd", "cancel");
  LockDriveList(p, "checkhdd", "maindrive");
  ClearLog(p, "checkhdd", "maintextbox");
  SetProgress(p, "checkhdd", "status", 0);
  const std::string root = Utf8Left(GetChosenDrive(p, "checkhdd", "maindrive"), 2) + "\\";
  const auto idle = [&p] {
    UnlockDriveList(p, "checkhdd", "maindrive");
    EnableButtons(p, "checkhdd", "start");
    EnableButtons(p, "loadscreen", "*");
    DisableButtons(p, "checkhdd", "cancel");
    p.flags.CheckDiskCancel = false;
    p.disk.checkRunning = false;
  };
  try {
    RunDiskCheck(p, root);
  } catch (const ProgramExit&) {
    // The program is ending: its surfaces are gone, nothing may be drawn.
    p.disk.checkRunning = false;
    throw;
  } catch (...) {
    idle();
    throw;
  }
  idle();
}

void RunDiskCheck(Program& p, const std::string& root) {
  CheckEngine* engine = p.os.checker;
  if (!engine || !engine->Load()) return;
  struct Unload {
    CheckEngine* e;
    ~Unload() { e->Unload(); }
  } unload{engine};
  const Result<VolumeInfo> volume = p.os.files.GetVolumeInfo(root);
  if (!volume.ok()) return;
  const std::string fileSystem = volume->fileSystem.substr(0, volume->fileSystem.find('\0'));
  const bool fixErrors = engine->CanOpenExclusive(root);
  engine->Chkdsk(root, fileSystem, fixErrors, true, false, true,
                 [&p](uint32_t command, uint32_t subAction, const void* actionInfo) {
                   return DiskCheckCallback(p, command, subAction, actionInfo);
                 });
}

bool DiskCheckCallback(Program& p, uint32_t command, uint32_t /*subAction*/,
                       const void* actionInfo) {
  Yield(p, false);
  switch (command) {
    case kCheckProgress: {
      if (!actionInfo) return !p.flags.CheckDiskCancel;
      uint32_t percent = 0;
      std::memcpy(&percent, actionInfo, sizeof percent);
      SetProgress(p, "checkhdd", "status", static_cast<int32_t>(percent));
      return !p.flags.CheckDiskCancel;
    }
    case kCheckDone:
      SetProgress(p, "checkhdd", "status", 0);
      return true;
    case kCheckTextOutput: {
      if (!actionInfo) return true;
      CheckTextOutput record;
      std::memcpy(&record, actionInfo, sizeof record);
      if (!record.text) return true;
      const size_t length = std::strlen(record.text);
      // The engine writes in its own code page: Windows-1252 where the text is not UTF-8.
      AppendLines(p, "checkhdd", "maintextbox",
                  DecodeAnsiOrUtf8(std::vector<uint8_t>(record.text, record.text + length)));
      return !p.flags.CheckDiskCancel;
    }
    default:
      return true;
  }
}

}  // namespace qv
