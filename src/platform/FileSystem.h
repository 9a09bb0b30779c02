// File-system services in the program's own path convention: DOS paths ("C:\a\b\"), drive
// letters, "\" separators. The platform maps drives onto whatever the host has.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv {

struct DirEntry {
  std::string name;  // file name only, as stored on disk
  bool isFolder = false;
  bool hidden = false;
  uint64_t size = 0;       // bytes (files)
  int64_t modified = 0;    // seconds since 1970
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
  virtual bool GetFreeSpace(const std::string& path, uint64_t* freeToCaller,
                            uint64_t* total) const = 0;

  // Entries of a folder in the order the file system returns them, without "." and "..".
  // Entries that are mount points of other drives and names the DOS form cannot express are
  // left out. False when the folder cannot be read.
  virtual bool ListFolder(const std::string& folder, std::vector<DirEntry>* entries) const = 0;
  virtual bool IsFolder(const std::string& path) const = 0;
  // Absent only when the last component is missing from an existing folder.
  virtual PathState Probe(const std::string& path) const = 0;
  virtual bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data) const = 0;

  // The host path behind a DOS path (for tools that hand paths to the host, and messages).
  virtual std::string HostPath(const std::string& dosPath) const = 0;
};

}  // namespace qv
