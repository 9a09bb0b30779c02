#include "files/modTools.h"

#include <optional>

#include "core/ProfileString.h"
#include "core/Program.h"
#include "widgets/modTextBox.h"

namespace qv {

bool RunAndWait(Program& p, const std::string& commandLine, int* exitCode) {
  const Result<int64_t> started = p.os.processes.Start(commandLine, ProgramWindow::Hidden);
  std::optional<int> ended;
  do {
    Yield(p, true);
  } while (started && !(ended = p.os.processes.Ended(started.value())));
  if (exitCode) *exitCode = ended.value_or(-1);
  return started.ok();
}

bool IsVolumeReady(Program& p, const std::string& drive) {
  return p.os.files.GetVolumeInfo(drive + "\\").ok();
}

Status DeleteToRecycleBin(Program& p, std::string& path) {
  if (!path.empty() && path.back() == '\\') path.pop_back();
  return p.os.files.DeleteToTrash(path);
}

void EmptyRecycleBin(Program& p) {
  p.os.files.EmptyTrash();
}

std::string FolderPath(const std::string& path) {
  return path.empty() || path.back() == '\\' ? path : path + "\\";
}

bool PathExists(Program& p, const std::string& path) {
  return p.os.files.Probe(path, NameCase::Any) != PathState::Absent;
}

namespace {

const char* KindText(EntryKind kind) {
  switch (kind) {
    case EntryKind::LinkToFolder:
      return "link to a folder";
    case EntryKind::DanglingLink:
      return "dangling link";
    case EntryKind::Fifo:
      return "FIFO";
    case EntryKind::Socket:
      return "socket";
    case EntryKind::Device:
      return "device";
    default:
      return "file";
  }
}

// Stores at a slot the way the lists grow: the list ends just after the slot written.
void StoreAt(std::vector<std::string>& list, int32_t slot, std::string value) {
  list.resize(static_cast<size_t>(slot) + 1);
  list[static_cast<size_t>(slot)] = std::move(value);
}

}  // namespace

void ScanFolder(Program& p, const std::string& folder, std::vector<std::string>& files,
                std::vector<std::string>& folders, int32_t& count, int32_t& folderSlot,
                int32_t& fileSlot, std::vector<std::string>& pending, bool includeHidden,
                CopyScan* copy) {
  const std::string base = !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
  Result<std::vector<DirEntry>> listed = p.os.files.ListFolder(base, ListDetail::NamesAndKinds);
  if (!listed.ok() && copy) copy->unreadable.push_back(base);
  for (DirEntry& e : listed.value_or({})) {
    if (e.name.empty() || e.name.back() == '.') continue;
    if (e.hidden && !includeHidden) continue;
    if (copy && !e.isFolder && e.kind != EntryKind::File && e.kind != EntryKind::LinkToFile) {
      copy->notFiles.push_back(base + e.name + " (" + KindText(e.kind) + ")");
      continue;
    }
    if (copy && e.isFolder && !copy->leaveOut.empty() &&
        p.os.files.HostPath(base + e.name + "\\") == copy->leaveOut)
      continue;
    if (e.isFolder) {
      StoreAt(folders, folderSlot++, base + e.name + "\\");
      pending.push_back(base + e.name);
    } else {
      StoreAt(files, fileSlot++, base + e.name);
    }
    ++count;
    if (count % 100 == 0) {
      SetText(p, p.explorer.ReportGroup, "total", std::to_string(count));
      if (!e.isFolder) Yield(p, false);
    }
    if (p.flags.CancelRequested) break;
  }
}

bool ScanFolderTree(Program& p, const std::string& path, std::vector<std::string>& files,
                    std::vector<std::string>& folders, int32_t recurse, bool includeHidden,
                    bool append, CopyScan* copy) {
  std::vector<std::string> pending;
  int32_t fileSlot = 0;
  int32_t folderSlot = 0;
  if (append) {
    fileSlot = static_cast<int32_t>(files.size());
    folderSlot = static_cast<int32_t>(folders.size());
  }
  int32_t count = fileSlot + folderSlot;
  ScanFolder(p, path, files, folders, count, folderSlot, fileSlot, pending, includeHidden, copy);
  bool cancelled = p.flags.CancelRequested;
  if (recurse == 1 && !cancelled) {
    // The queue grows while it is walked: index, not iterator.
    for (size_t i = 0; i < pending.size(); ++i) {
      if (p.flags.CancelRequested) {
        cancelled = true;
        break;
      }
      const std::string next = pending[i];
      ScanFolder(p, next, files, folders, count, folderSlot, fileSlot, pending, includeHidden,
                 copy);
    }
    // A cancel that arrives while the last folder is listed must not be lost either.
    cancelled = cancelled || p.flags.CancelRequested;
  }
  SetText(p, p.explorer.ReportGroup, "total", std::to_string(count));
  p.flags.CancelRequested = false;
  return cancelled;
}

}  // namespace qv
