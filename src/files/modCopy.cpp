#include "files/modCopy.h"

#include <algorithm>
#include <vector>

#include "files/modTools.h"
#include "core/Convert.h"
#include "core/Program.h"
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

void CopyItems(Program& p, const std::string& sourceRoot, const std::string& destinationRoot,
               bool RootIsFirst) {
  if (p.explorer.CopyList.empty()) {
    p.flags.CancelRequested = false;
    return;
  }
  const std::string g = p.explorer.ReportGroup;
  SetProgress(p, g, "total", 0);
  SetProgress(p, g, "copy", 0);
  for (const char* name : {"filesfound", "filesnew", "filesexisting", "directoriesfound",
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
    if (p.os.files.IsFolder(item)) {
      selectedFolders.push_back(item);
      FolderList.push_back(item);
    } else {
      FileList.push_back(item);
    }
  }
  for (const std::string& folder : selectedFolders) {
    if (ScanFolderTree(p, folder, FileList, FolderList, 1, true, true))
      p.flags.CancelRequested = true;
    if (p.flags.CancelRequested) break;
  }

  const size_t skip = RootIsFirst ? 1 : 0;
  const size_t folderCount = FolderList.size() > skip ? FolderList.size() - skip : 0;
  SetText(p, g, "total", Digits(folderCount + FileList.size()));

  // Without its root every file below it would probe as present and be skipped.
  if (!p.flags.CancelRequested && !destinationRoot.empty())
    p.os.files.CreatePath(destinationRoot.back() == '\\' ? destinationRoot
                                                         : destinationRoot + "\\");

  const size_t rootLength = sourceRoot.size();
  if (!FolderList.empty()) {
    size_t created = 0;
    size_t existing = 0;
    SetText(p, g, "directoriesfound", Digits(folderCount));
    for (size_t d = skip; d < FolderList.size(); ++d) {
      if (d % 10 == 0) Yield(p, false);
      if (p.flags.CancelRequested) break;
      const std::string target = destinationRoot + RelativePath(FolderList[d], rootLength);
      SetText(p, g, "status", target);
      if (PathExists(p, target)) {
        SetText(p, g, "directoriesexisting", Digits(++existing));
      } else {
        SetText(p, g, "directoriesnew", Digits(++created));
        p.os.files.CreatePath(target);
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
    for (size_t i = 0; i < n; ++i) {
      if (i % 10 == 0) Yield(p, false);
      if (p.flags.CancelRequested) break;
      SetProgress(p, g, "total",
                  static_cast<int32_t>(
                      RoundHalfEven(100.0 / static_cast<double>(n) * static_cast<double>(i + 1))));
      const std::string target = destinationRoot + RelativePath(FileList[i], rootLength);
      SetText(p, g, "status", target);
      if (PathExists(p, target)) {
        SetText(p, g, "filesexisting", Digits(++existing));
      } else {
        SetText(p, g, "filesnew", Digits(++copied));
        p.os.files.CopyFile(FileList[i], target, progress);
      }
    }
  }
  p.flags.CancelRequested = false;
}

}  // namespace qv
