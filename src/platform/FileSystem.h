// File-system services in the program's own path convention: DOS paths ("C:\a\b\"), drive
// letters, "\" separators. The platform maps drives onto whatever the host has.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace qv {

// What an entry is; links are told by what they lead to.
enum class EntryKind { File, Folder, LinkToFile, LinkToFolder, DanglingLink, Fifo, Socket, Device };

struct DirEntry {
  std::string name;       // file name only, as stored on disk
  bool isFolder = false;  // a real folder; a link to one is no folder for walks
  bool hidden = false;
  uint64_t size = 0;     // bytes (files)
  int64_t modified = 0;  // seconds since 1970
  EntryKind kind = EntryKind::File;
};

// Drive types in the numbering the program uses.
enum DriveType {
  kDriveUnknown = 0,
  kDriveNoRoot = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdRom = 5,
  kDriveRamDisk = 6
};

struct VolumeInfo {
  std::string label;
  uint32_t serial = 0;
  std::string fileSystem;  // "ext4", "vfat", ...
};

enum class PathState { Present, Absent };

struct FreeSpace {
  uint64_t freeToCaller = 0;  // bytes
  uint64_t total = 0;
};

// NotAFile: the source is no regular file nor a link to one (a FIFO, a device, a dangling link).
enum class CopyResult { Copied, Exists, Cancelled, Failed, NotAFile };

// What a copy came to, and why when it failed.
class CopyOutcome {
 public:
  CopyOutcome(CopyResult kind) : kind_(kind) {}  // NOLINT: implicit
  // A failure, with its reason.
  CopyOutcome(Status failed) : kind_(CopyResult::Failed), status_(std::move(failed)) {}  // NOLINT

  CopyResult kind() const { return kind_; }
  // Ok unless the kind is Failed.
  const Status& status() const { return status_; }
  bool operator==(CopyResult kind) const { return kind_ == kind; }

 private:
  CopyResult kind_;
  Status status_ = Status::Ok();
};

// How much a listing tells: NamesAndKinds may leave size and modified at 0 (walks of large trees
// need no more).
enum class ListDetail { Full, NamesAndKinds };
// Whether a link to a folder counts as a folder.
enum class FollowLinks { No, Yes };
// Whether a last component present only in another case counts.
enum class NameCase { Any, Exact };

// Called with the file's size and the bytes copied so far; returning false cancels the copy.
using CopyProgressFn = std::function<bool(uint64_t total, uint64_t done)>;

// Lookups are not const: an implementation may keep what it learnt about folders.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The folder that holds the running program, as a DOS path without a final "\" (except a
  // bare drive root such as "C:\").
  virtual std::string ExecutableFolder() const = 0;
  // Where the program's own files lie, as DOS paths (folders without a final "\"). A portable
  // copy keeps them beside the program; an installed one spreads them over the system's folders.
  virtual std::string SettingsFile() const { return BesideProgram("settings.ini"); }
  virtual std::string SkinFolder() const { return BesideProgram("Skin"); }
  virtual std::string ToolsFolder() const { return BesideProgram("Tools"); }

  // Drive roots ("C:\", "D:\", ...) in letter order.
  virtual std::vector<std::string> LogicalDrives() const = 0;
  virtual int GetDriveType(const std::string& root) const = 0;
  virtual Result<VolumeInfo> GetVolumeInfo(const std::string& root) const = 0;
  // Bytes free to the caller and total bytes of the drive holding `path`.
  virtual Result<FreeSpace> GetFreeSpace(const std::string& path) = 0;

  // Entries of a folder in the order the file system returns them, without "." and "..".
  // Entries that are mount points of other drives are left out; characters of a name that the DOS
  // form cannot hold are shown through the private-use mapping (U+F000 plus the character). Fails
  // when the folder cannot be read.
  virtual Result<std::vector<DirEntry>> ListFolder(const std::string& folder,
                                                   ListDetail detail) = 0;
  virtual bool IsFolder(const std::string& path, FollowLinks links) = 0;
  // Absent only when the last component is missing from an existing folder. With NameCase::Exact
  // a last component present only in another case is absent.
  virtual PathState Probe(const std::string& path, NameCase nameCase) = 0;
  virtual Result<std::vector<uint8_t>> ReadWholeFile(const std::string& path) = 0;

  // The host path behind a DOS path (for tools that hand paths to the host, and messages).
  virtual std::string HostPath(const std::string& dosPath) = 0;

  // Creates one folder in an existing folder; fails when it exists already or cannot be made.
  virtual Status CreateFolder(const std::string& path) = 0;
  // Creates every missing folder of the path up to its last "\" (a final file name is not made).
  virtual Status CreatePath(const std::string& folderPath) = 0;
  // Renames a file or folder on its drive; fails when `to` exists (a change of case only is fine).
  virtual Status Rename(const std::string& from, const std::string& to) = 0;
  // The length of a regular file.
  virtual Result<uint64_t> FileLength(const std::string& path) = 0;
  // Copies one file; never replaces an existing `to`, and leaves nothing under `to` when cancelled
  // or failed. Modification time and permissions are kept. With NameCase::Exact a name present
  // only in another case does not count as `to`.
  virtual CopyOutcome CopyFile(const std::string& from, const std::string& to,
                               const CopyProgressFn& progress, NameCase nameCase) = 0;
  // Moves a file or folder into the recycle bin; fails where the drive has none (never deletes).
  virtual Status DeleteToTrash(const std::string& path) = 0;
  // Deletes the contents of every recycle bin on every drive.
  virtual Status EmptyTrash() = 0;

 protected:
  std::string BesideProgram(const std::string& name) const {
    std::string folder = ExecutableFolder();
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder + "\\" + name;
  }
};

}  // namespace qv
