// The DOS drive namespace over the Linux file system: each drive letter stands for a host folder,
// the way Wine maps its drives.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/common/DosPath.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/PosixPathResolver.h"
#include "platform/linux/ProgramPlaces.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

// Settings of a PosixFileSystem that tests and benchmarks change; the defaults are the product's.
struct PosixFileOptions {
  // Bytes copied between two progress calls.
  size_t copyChunkBytes = size_t{8} << 20;
  // Reads no faster than this, as a slow medium does (0: as fast as the disk).
  uint64_t bytesPerSecond = 0;
  // Copies with read and write instead of copy_file_range.
  bool forceReadWriteCopy = false;
  // Makes the named temporary used where a file system has no unnamed files.
  bool forceNamedTemporary = false;
  // Links an unnamed file through /proc, as on kernels that refuse linking the descriptor.
  bool linkThroughProc = false;
  // Called with a folder's host path each time it has been listed for its name index.
  std::function<void(const std::string&)> listed{};
  // Where the settings, skin and tools are; by default beside the program.
  ProgramPlaces places{};
};

class PosixFileSystem : public FileSystem {
 public:
  using Options = PosixFileOptions;
  PosixFileSystem(std::vector<DriveMapping> drives, std::string exeHostFolder,
                  Options options = {});
  // The resolver refers to the drive table inside.
  PosixFileSystem(const PosixFileSystem&) = delete;
  PosixFileSystem& operator=(const PosixFileSystem&) = delete;

  // The drive table of the machine: the root file system is C:, every other mounted block
  // device follows from D: in mount order.
  static std::unique_ptr<PosixFileSystem> FromMounts(const std::string& exeHostFolder,
                                                     Options options = {});
  // Host folder that holds the running binary.
  static std::string RunningExecutableFolder();

  const std::vector<DriveMapping>& Drives() const { return table_.Drives(); }
  const DriveTable& Table() const { return table_; }
  // The DOS path of a host path ("C:\a\b", "C:\" for a drive root); empty when on no drive.
  std::string DosPathForHost(const std::string& hostPath) const;

  std::string ExecutableFolder() const override;
  std::string SettingsFile() const override;
  std::string SkinFolder() const override;
  std::string ToolsFolder() const override;
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
  CopyOutcome CopyFile(const std::string& from, const std::string& to,
                       const CopyProgressFn& progress, NameCase nameCase) override;
  Status DeleteToTrash(const std::string& path) override;
  Status EmptyTrash() override;

  // DOS paths looked up on the host (see PathResolver); the volumes resolve through here too.
  using Resolved = PathResolver::Resolved;
  using Lookup = PathResolver::Lookup;
  Resolved Resolve(const std::string& dosPath, Lookup lookup = Lookup::Full,
                   bool trustCache = false) {
    return paths_.Resolve(dosPath, lookup, trustCache);
  }

 private:
  // A file being written for a copy; removed again unless it was published.
  struct PendingFile;

  std::vector<std::string> TrashFolders() const;

  // The copy's steps. `trustCache`: the target's folder may be taken from the cache.
  CopyOutcome CopyFileFrom(const std::string& from, const std::string& to,
                           const CopyProgressFn& progress, bool trustCache, NameCase nameCase);
  // The source as a regular file open for reading; `a` is looked up again where needed.
  UniqueFd OpenSource(const std::string& from, Resolved* a, struct stat* source);
  enum class Opened { Ok, Failed, LookAgain };
  // The file the bytes go to, unnamed where the file system allows it. LookAgain: the target's
  // folder came from the cache and is no longer what it was.
  Opened OpenTarget(const Resolved& b, const struct stat& source, PendingFile* out);
  CopyResult CopyBytes(int in, int out, uint64_t total, const CopyProgressFn& progress) const;
  // Gives the complete file its mode, time and final name, never replacing anything.
  CopyOutcome Publish(const std::string& to, const Resolved& b, const struct stat& source,
                      PendingFile* file, NameCase nameCase);

  DriveTable table_;
  std::string exeHostFolder_;
  Options options_;
  bool linkThroughProc_ = false;  // learnt: this kernel refuses linking the descriptor
  dev_t namedOnlyDevice_ = 0;     // the last device found without unnamed files
  PathResolver paths_;
};

}  // namespace qv
