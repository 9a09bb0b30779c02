// File-system services in the program's own path convention: DOS paths ("C:\a\b\"), drive
// letters, "\" separators. The platform maps drives onto whatever the host has.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// NotAFile: the source is no regular file nor a link to one (a FIFO, a device, a dangling link).
enum class CopyResult { Copied, Exists, Cancelled, Failed, NotAFile };

// Called with the file's size and the bytes copied so far; returning false cancels the copy.
using CopyProgressFn = std::function<bool(uint64_t total, uint64_t done)>;

// Lookups are not const: an implementation may keep what it learnt about folders.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The folder that holds the running program, as a DOS path without a final "\" (except a
  // bare drive root such as "C:\").
  virtual std::string ExecutableFolder() const = 0;

  // Drive roots ("C:\", "D:\", ...) in letter order.
  virtual std::vector<std::string> LogicalDrives() const = 0;
  virtual int GetDriveType(const std::string& root) const = 0;
  virtual bool GetVolumeInfo(const std::string& root, VolumeInfo* info) const = 0;
  // Bytes free to the caller and total bytes of the drive holding `path`.
  virtual bool GetFreeSpace(const std::string& path, uint64_t* freeToCaller, uint64_t* total) = 0;

  // Entries of a folder in the order the file system returns them, without "." and "..".
  // Entries that are mount points of other drives are left out; characters of a name that the DOS
  // form cannot hold are shown through the private-use mapping (U+F000 plus the character). False
  // when the folder cannot be read. Without `sizesAndTimes` only names and kinds are sure (size and
  // modified may stay 0): walks of large trees need no more.
  virtual bool ListFolder(const std::string& folder, std::vector<DirEntry>* entries,
                          bool sizesAndTimes = true) = 0;
  // A link to a folder counts only with `followLink`.
  virtual bool IsFolder(const std::string& path, bool followLink = false) = 0;
  // Absent only when the last component is missing from an existing folder. With `exactCase` a
  // last component present only in another case is absent.
  virtual PathState Probe(const std::string& path, bool exactCase = false) = 0;
  virtual bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data) = 0;

  // The host path behind a DOS path (for tools that hand paths to the host, and messages).
  virtual std::string HostPath(const std::string& dosPath) = 0;

  // Creates one folder in an existing folder; false when it exists already or cannot be made.
  virtual bool CreateFolder(const std::string& path) = 0;
  // Creates every missing folder of the path up to its last "\" (a final file name is not made).
  virtual bool CreatePath(const std::string& folderPath) = 0;
  // Renames a file or folder on its drive; fails when `to` exists (a change of case only is fine).
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual bool FileLength(const std::string& path, uint64_t* bytes) = 0;
  // Copies one file; never replaces an existing `to`, and leaves nothing under `to` when cancelled
  // or failed. Modification time and permissions are kept. With `exactCase` a name present only in
  // another case does not count as `to`.
  virtual CopyResult CopyFile(const std::string& from, const std::string& to,
                              const CopyProgressFn& progress, bool exactCase = false) = 0;
  // Why the last CreatePath, CopyFile or DeleteToTrash that failed did so, in words.
  virtual std::string FailureReason() const = 0;
  // Moves a file or folder into the recycle bin; false where the drive has none (never deletes).
  virtual bool DeleteToTrash(const std::string& path) = 0;
  // Deletes the contents of every recycle bin on every drive.
  virtual bool EmptyTrash() = 0;
};

}  // namespace qv
