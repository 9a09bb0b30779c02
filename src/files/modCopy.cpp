#include "files/modCopy.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "core/Convert.h"
#include "core/ProfileString.h"
#include "core/Program.h"
#include "files/modTools.h"
#include "widgets/modButton.h"
#include "widgets/modStatusbar.h"
#include "widgets/modTextBox.h"

namespace qv {
namespace {

std::string RelativePath(const std::string& entry, size_t rootLength) {
  return entry.size() > rootLength ? entry.substr(rootLength) : std::string();
}

std::string Digits(size_t n) {
  return std::to_string(n);
}

}  // namespace

bool CopyProgress(Program& p, uint64_t totalSize, uint64_t transferred) {
  const std::string& g = p.explorer.ReportGroup;
  if (totalSize == 0) {
    SetProgress(p, g, "copy", 100);
    return true;
  }
  const bool cancel = p.flags.CancelRequested;
  const uint64_t percent = std::min<uint64_t>(transferred, totalSize) * 100 / totalSize;
  SetProgress(p, g, "copy", static_cast<int32_t>(percent));
  Yield(p, false);
  return !cancel;
}

namespace {

// What went wrong with the entries of one run: counted in "filesfailed", each told on standard
// error, the last one named in "status" at the end.
struct Failures {
  Failures(Program& program, const std::string& reportGroup) : p(program), group(reportGroup) {}
  Program& p;
  const std::string& group;
  size_t files = 0;
  std::string last;
  // Folder targets (final "\") that could not be made or are no real folders: nothing is
  // written below them.
  std::vector<std::string> blocked;

  void Note(const std::string& target, const std::string& reason, bool isFile) {
    last = target + " (" + reason + ")";
    p.os.diag.Warn("copy: not copied: " + last);
    if (isFile) SetText(p, group, "filesfailed", Digits(++files));
  }
  // The blocked folder a target lies in, or null.
  const std::string* BlockedAbove(const std::string& target) const {
    for (const std::string& folder : blocked)
      if (target.size() > folder.size() && target.compare(0, folder.size(), folder) == 0)
        return &folder;
    return nullptr;
  }
};

// The target of a selected folder when it lies inside that folder, as the scan spells paths
// below it (the names as on disk); empty otherwise.
std::string TargetInside(Program& p, const std::string& folder, const std::string& target) {
  const std::string hostFolder = p.os.files.HostPath(folder);
  const std::string hostTarget = p.os.files.HostPath(target);
  if (hostFolder.empty() || hostFolder.back() != '/' || hostTarget.size() <= hostFolder.size() ||
      hostTarget.compare(0, hostFolder.size(), hostFolder) != 0)
    return "";
  std::string below = hostTarget.substr(hostFolder.size());
  std::replace(below.begin(), below.end(), '/', '\\');
  if (below.back() != '\\') below += '\\';
  return folder + below;
}

}  // namespace

void CopyItems(Program& p, const std::string& sourceRoot, const std::string& destinationRoot,
               bool RootIsFirst) {
  if (p.explorer.CopyList.empty()) {
    p.flags.CancelRequested = false;
    return;
  }
  const std::string g = p.explorer.ReportGroup;
  SetProgress(p, g, "total", 0);
  SetProgress(p, g, "copy", 0);
  for (const char* name :
       {"filesfound", "filesnew", "filesexisting", "filesfailed", "directoriesfound",
        "directoriesnew", "directoriesexisting", "status", "total"})
    SetText(p, g, name, "-");
  EnableButtons(p, g, "cancel");
  DisableButtons(p, "mainscreen", "*");

  std::vector<std::string> selectedFolders;
  std::vector<std::string> FolderList;
  std::vector<std::string> FileList;
  // A copy: a command run during a yield may rebuild CopyList.
  const std::vector<std::string> items = p.explorer.CopyList;
  for (const std::string& item : items) {
    // A link chosen by the user is followed; links below it are not.
    if (p.os.files.IsFolder(item, FollowLinks::Yes)) {
      const std::string folder = item.back() == '\\' ? item : item + "\\";
      selectedFolders.push_back(folder);
      FolderList.push_back(folder);
    } else {
      FileList.push_back(item);
    }
  }
  const size_t rootLength = sourceRoot.size();
  Failures failed(p, g);
  CopyScan scan;
  for (const std::string& folder : selectedFolders) {
    // A backup kept inside its own source would be copied into itself at every run.
    scan.leaveOut = TargetInside(p, folder, destinationRoot + RelativePath(folder, rootLength));
    if (ScanFolderTree(p, folder, FileList, FolderList, 1, true, true, &scan))
      p.flags.CancelRequested = true;
    if (p.flags.CancelRequested) break;
  }
  for (const std::string& entry : scan.notFiles) p.os.diag.Warn("copy: left out: " + entry);

  const size_t skip = RootIsFirst ? 1 : 0;
  const size_t folderCount = FolderList.size() > skip ? FolderList.size() - skip : 0;
  SetText(p, g, "total", Digits(folderCount + FileList.size()));

  // Without its root every file below it would probe as present and be skipped; a root that
  // cannot be made ends the run before anything is counted.
  if (!p.flags.CancelRequested) {
    const std::string root = destinationRoot.empty() || destinationRoot.back() == '\\'
                                 ? destinationRoot
                                 : destinationRoot + "\\";
    if (const Status made = p.os.files.CreatePath(root); !made.ok()) {
      const std::string why = root + " cannot be reached (" + made.message() + ")";
      p.os.diag.Warn("copy: " + why);
      SetText(p, g, "status", "Not copied: " + why);
      p.flags.CancelRequested = false;
      return;
    }
  }
  for (const std::string& folder : scan.unreadable)
    failed.Note(destinationRoot + RelativePath(folder, rootLength), "its source cannot be read",
                true);

  if (!FolderList.empty()) {
    size_t created = 0;
    size_t existing = 0;
    SetText(p, g, "directoriesfound", Digits(folderCount));
    for (size_t d = skip; d < FolderList.size(); ++d) {
      if (d % 10 == 0) Yield(p, false);
      if (p.flags.CancelRequested) break;
      const std::string target = destinationRoot + RelativePath(FolderList[d], rootLength);
      SetText(p, g, "status", target);
      if (failed.BlockedAbove(target)) {
        failed.blocked.push_back(target);
      } else if (p.os.files.IsFolder(target, FollowLinks::No)) {
        SetText(p, g, "directoriesexisting", Digits(++existing));
      } else if (PathExists(p, target)) {
        // Never written through: a link (or a file) where a folder belongs fails the folder.
        failed.Note(target, "not a folder", false);
        failed.blocked.push_back(target);
      } else if (const Status made = p.os.files.CreatePath(target); made.ok()) {
        SetText(p, g, "directoriesnew", Digits(++created));
      } else {
        failed.Note(target, made.message(), false);
        failed.blocked.push_back(target);
      }
    }
  }

  if (!FileList.empty()) {
    const size_t n = FileList.size();
    size_t copied = 0;
    size_t existing = 0;
    SetText(p, g, "filesfound", Digits(n));
    const CopyProgressFn progress = [&p](uint64_t total, uint64_t done) {
      return CopyProgress(p, total, done);
    };
    // Names that differ only in case (possible on Linux) are kept apart in the backup. Asked
    // only where the backup holds a name in another case: counting every name cost a run
    // that finds everything present about a tenth of its time.
    std::unordered_map<std::string, int> spellings;
    auto hasTwin = [&](const std::string& file) {
      if (spellings.empty())
        for (const std::string& each : FileList) ++spellings[LowerCase(each)];
      return spellings[LowerCase(file)] > 1;
    };
    for (size_t i = 0; i < n; ++i) {
      if (i % 10 == 0) Yield(p, false);
      if (p.flags.CancelRequested) break;
      SetProgress(p, g, "total",
                  static_cast<int32_t>(
                      RoundHalfEven(100.0 / static_cast<double>(n) * static_cast<double>(i + 1))));
      const std::string target = destinationRoot + RelativePath(FileList[i], rootLength);
      SetText(p, g, "status", target);
      if (const std::string* folder = failed.BlockedAbove(target)) {
        failed.Note(target, "its folder " + *folder + " could not be used", true);
        continue;
      }
      if (p.os.files.Probe(target, NameCase::Exact) != PathState::Absent) {
        SetText(p, g, "filesexisting", Digits(++existing));
        continue;
      }
      CopyOutcome result = p.os.files.CopyFile(FileList[i], target, progress, NameCase::Any);
      // The name is there in another case: the same file, unless the source has both.
      if (result == CopyResult::Exists && hasTwin(FileList[i]))
        result = p.os.files.CopyFile(FileList[i], target, progress, NameCase::Exact);
      switch (result.kind()) {
        case CopyResult::Copied:
        case CopyResult::Cancelled:  // counted as the copy that was started
          SetText(p, g, "filesnew", Digits(++copied));
          break;
        case CopyResult::Exists:  // appeared meanwhile
          SetText(p, g, "filesexisting", Digits(++existing));
          break;
        case CopyResult::NotAFile:
          p.os.diag.Warn("copy: left out: " + FileList[i] + " (not a file)");
          break;
        case CopyResult::Failed:
          failed.Note(target, result.status().message(), true);
          break;
      }
    }
  }
  if (!failed.last.empty()) SetText(p, g, "status", "Not copied: " + failed.last);
  p.flags.CancelRequested = false;
}

}  // namespace qv
