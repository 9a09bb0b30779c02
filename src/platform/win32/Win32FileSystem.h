// The program's DOS paths on the Windows file system: the drives are Windows' own, paths reach
// the W functions in the "\\?\" form, so that names ending in dots or blanks (which the usual
// path handling strips) and long paths are reached as they are.
#pragma once

#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace qv {

class Win32FileSystem : public FileSystem {
 public:
  // `drives`: the letters offered ("D:" or 'D' alike); empty: every drive of the machine.
  // `appFolder`: the DOS path that stands for the executable's folder; empty: the running
  // program's own.
  explicit Win32FileSystem(std::vector<char> drives = {}, std::string appFolder = {});

  // The "\\?\X:\a\b" form of a DOS path; false for a path without a drive letter or with a name
  // that Windows would read as more than one name (":" streams, "\", wildcards).
  static bool NativePath(const std::string& dosPath, std::wstring* native);
  // Whether the folder (in the "\\?\" form) is where another volume is mounted, not a
  // junction to a folder.
  static bool IsVolumeMountPoint(const std::wstring& native);

  std::string ExecutableFolder() const override;
  std::vector<std::string> LogicalDrives() const override;
  int GetDriveType(const std::string& root) const override;
  Result<VolumeInfo> GetVolumeInfo(const std::string& root) const override;
  Result<FreeSpace> GetFreeSpace(const std::string& path) override;
  Result<std::vector<DirEntry>> ListFolder(const std::string& folder, ListDetail detail) override;
  bool IsFolder(const std::string& path, FollowLinks links) override;
  PathState Probe(const std::string& path, NameCase nameCase) override;
  Result<std::vector<uint8_t>> ReadWholeFile(const std::string& path) override;
  std::string HostPath(const std::string& dosPath) override;

  Status CreateFolder(const std::string& path) override;
  Status CreatePath(const std::string& folderPath) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Result<uint64_t> FileLength(const std::string& path) override;
  // The program's own copy, to a temporary name in the target folder and renamed when
  // complete: CopyFileExW cannot be cancelled where it never reports progress (Wine).
  CopyOutcome CopyFile(const std::string& from, const std::string& to,
                       const CopyProgressFn& progress, NameCase nameCase) override;
  // Through the shell, on fixed drives only (others have no recycle bin, and the shell would
  // delete for good there).
  Status DeleteToTrash(const std::string& path) override;
  Status EmptyTrash() override;

 private:
  // The drive letter of a path when it is one of the offered drives.
  bool Offered(const std::string& dosPath) const;

  std::vector<char> drives_;
  std::string appFolder_;
};

}  // namespace qv
