#include "files/modCopy.h"

#include <algorithm>
#include <functional>
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

// The target folder of a selected folder when it lies inside that folder, as the file system
// takes it (see CopyScan::leaveOut); empty otherwise. The drive path is walked up component by
// component ("\" or "/"), each ancestor compared with the folder by where the file system takes
// it, so no host separator or case rule is assumed.
std::string TargetInside(Program& p, const std::string& folder, const std::string& target) {
  const std::string hostFolder = p.os.files.HostPath(FolderPath(folder));
  if (hostFolder.empty() || target.size() < 2 || target[1] != ':') return "";
  std::vector<std::string> ancestors;  // the target's folders above it, from its drive's root
  std::string path = target.substr(0, 2) + "\\";
  size_t i = 2;
  while (i < target.size()) {
    const size_t end = std::min(target.find_first_of("\\/", i), target.size());
    if (end > i) {
      ancestors.push_back(path);
      path += target.substr(i, end - i) + "\\";
    }
    i = end + 1;
  }
  for (const std::string& ancestor : ancestors)
    if (p.os.files.HostPath(ancestor) == hostFolder) return p.os.files.HostPath(path);
  return "";
}

// One run of CopyItems: what was chosen, what the scan found, and what became of it.
struct CopyRun {
  CopyRun(Program& program, const std::string& reportGroup, const std::string& source,
          const std::string& destination, bool rootIsFirst)
      : p(program),
        g(reportGroup),
        destinationRoot(destination),
        rootLength(source.size()),
        skip(rootIsFirst ? 1 : 0),
        failed(program, g) {}

  Program& p;
  const std::string g;
  const std::string& destinationRoot;
  const size_t rootLength;
  const size_t skip;  // the source root itself heads FolderList and is not made again
  std::vector<std::string> selectedFolders;
  std::vector<std::string> FolderList;
  std::vector<std::string> FileList;
  Failures failed;
  CopyScan scan;

  size_t FolderCount() const { return FolderList.size() > skip ? FolderList.size() - skip : 0; }
  std::string TargetOf(const std::string& entry) const {
    return destinationRoot + RelativePath(entry, rootLength);
  }

  void ResetReport();
  void TakeSelection();
  void ScanSelectedFolders();
  bool MakeDestinationRoot();
  void MakeFolders();
  void CopyFiles();
  void CopyOneFile(size_t i, const CopyProgressFn& progress,
                   const std::function<bool(const std::string&)>& hasTwin, size_t* copied,
                   size_t* existing);
};

void CopyRun::ResetReport() {
  SetProgress(p, g, "total", 0);
  SetProgress(p, g, "copy", 0);
  for (const char* name :
       {"filesfound", "filesnew", "filesexisting", "filesfailed", "directoriesfound",
        "directoriesnew", "directoriesexisting", "status", "total"})
    SetText(p, g, name, "-");
  EnableButtons(p, g, "cancel");
  DisableButtons(p, "mainscreen", "*");
}

void CopyRun::TakeSelection() {
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
}

void CopyRun::ScanSelectedFolders() {
  for (const std::string& folder : selectedFolders) {
    // A backup kept inside its own source would be copied into itself at every run.
    scan.leaveOut = TargetInside(p, folder, TargetOf(folder));
    if (ScanFolderTree(p, folder, FileList, FolderList, 1, true, true, &scan))
      p.flags.CancelRequested = true;
    if (p.flags.CancelRequested) break;
  }
  for (const std::string& entry : scan.notFiles) p.os.diag.Warn("copy: left out: " + entry);
}

// Without its root every file below it would probe as present and be skipped; a root that cannot
// be made ends the run before anything is counted.
bool CopyRun::MakeDestinationRoot() {
  if (p.flags.CancelRequested) return true;
  const std::string root = destinationRoot.empty() || destinationRoot.back() == '\\'
                               ? destinationRoot
                               : destinationRoot + "\\";
  const Status made = p.os.files.CreatePath(root);
  if (made.ok()) return true;
  const std::string why = root + " cannot be reached (" + made.message() + ")";
  p.os.diag.Warn("copy: " + why);
  SetText(p, g, "status", "Not copied: " + why);
  p.flags.CancelRequested = false;
  return false;
}

void CopyRun::MakeFolders() {
  size_t created = 0;
  size_t existing = 0;
  SetText(p, g, "directoriesfound", Digits(FolderCount()));
  for (size_t d = skip; d < FolderList.size(); ++d) {
    if (d % 10 == 0) Yield(p, false);
    if (p.flags.CancelRequested) break;
    const std::string target = TargetOf(FolderList[d]);
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

void CopyRun::CopyFiles() {
  const size_t n = FileList.size();
  size_t copied = 0;
  size_t existing = 0;
  SetText(p, g, "filesfound", Digits(n));
  const CopyProgressFn progress = [this](uint64_t total, uint64_t done) {
    return CopyProgress(p, total, done);
  };
  // Names that differ only in case (possible on Linux) are kept apart in the backup. Asked only
  // where the backup holds a name in another case: counting every name cost a run that finds
  // everything present about a tenth of its time.
  std::unordered_map<std::string, int> spellings;
  const std::function<bool(const std::string&)> hasTwin = [&](const std::string& file) {
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
    CopyOneFile(i, progress, hasTwin, &copied, &existing);
  }
}

void CopyRun::CopyOneFile(size_t i, const CopyProgressFn& progress,
                          const std::function<bool(const std::string&)>& hasTwin, size_t* copied,
                          size_t* existing) {
  const std::string target = TargetOf(FileList[i]);
  SetText(p, g, "status", target);
  if (const std::string* folder = failed.BlockedAbove(target)) {
    failed.Note(target, "its folder " + *folder + " could not be used", true);
    return;
  }
  if (p.os.files.Probe(target, NameCase::Exact) != PathState::Absent) {
    SetText(p, g, "filesexisting", Digits(++*existing));
    return;
  }
  CopyOutcome result = p.os.files.CopyFile(FileList[i], target, progress, NameCase::Any);
  // The name is there in another case: the same file, unless the source has both.
  if (result == CopyResult::Exists && hasTwin(FileList[i]))
    result = p.os.files.CopyFile(FileList[i], target, progress, NameCase::Exact);
  switch (result.kind()) {
    case CopyResult::Copied:
    case CopyResult::Cancelled:  // counted as the copy that was started
      SetText(p, g, "filesnew", Digits(++*copied));
      break;
    case CopyResult::Exists:  // appeared meanwhile
      SetText(p, g, "filesexisting", Digits(++*existing));
      break;
    case CopyResult::NotAFile:
      p.os.diag.Warn("copy: left out: " + FileList[i] + " (not a file)");
      break;
    case CopyResult::Failed:
      failed.Note(target, result.status().message(), true);
      break;
  }
}

}  // namespace

void CopyItems(Program& p, const std::string& sourceRoot, const std::string& destinationRoot,
               bool RootIsFirst) {
  if (p.explorer.CopyList.empty()) {
    p.flags.CancelRequested = false;
    return;
  }
  CopyRun run(p, p.explorer.ReportGroup, sourceRoot, destinationRoot, RootIsFirst);
  run.ResetReport();
  run.TakeSelection();
  run.ScanSelectedFolders();
  SetText(p, run.g, "total", Digits(run.FolderCount() + run.FileList.size()));
  if (!run.MakeDestinationRoot()) return;
  for (const std::string& folder : run.scan.unreadable)
    run.failed.Note(run.TargetOf(folder), "its source cannot be read", true);
  if (!run.FolderList.empty()) run.MakeFolders();
  if (!run.FileList.empty()) run.CopyFiles();
  if (!run.failed.last.empty()) SetText(p, run.g, "status", "Not copied: " + run.failed.last);
  p.flags.CancelRequested = false;
}

}  // namespace qv
