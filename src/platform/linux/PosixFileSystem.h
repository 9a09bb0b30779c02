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
#include "platform/linux/PosixFolderCache.h"
#include "platform/linux/PosixNameIndex.h"
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
  std::function<void(const std::string&)> listed;
};

class PosixFileSystem : public FileSystem {
 public:
  using Options = PosixFileOptions;
  PosixFileSystem(std::vector<DriveMapping> drives, std::string exeHostFolder,
                  Options options = {});

  // The drive table of the machine: the root file system is C:, every other mounted block
  // device follows from D: in mount order.
  static std::unique_ptr<PosixFileSystem> FromMounts(const std::string& exeHostFolder);
  // Host folder that holds the running binary.
  static std::string RunningExecutableFolder();

  const std::vector<DriveMapping>& Drives() const { return table_.Drives(); }
  const DriveTable& Table() const { return table_; }
  // The DOS path of a host path ("C:\a\b", "C:\" for a drive root); empty when on no drive.
  std::string DosPathForHost(const std::string& hostPath) const;

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
  CopyOutcome CopyFile(const std::string& from, const std::string& to,
                       const CopyProgressFn& progress, NameCase nameCase) override;
  Status DeleteToTrash(const std::string& path) override;
  Status EmptyTrash() override;

  // A DOS path mapped onto the host.
  struct Resolved {
    const DriveMapping* drive = nullptr;  // null: no drive of the table
    std::vector<std::string> names;       // host names of the components below the root
    size_t found = 0;                     // leading components that exist on this drive
    bool foundIsFolder = false;           // HostPrefix(found) is a folder (links followed)
    std::string lastWritten;              // the last component as the caller spelt it
    bool trailingSeparator = false;

    // The host path of the first `folderDepth` components, kept as the walk built it.
    std::string folderHost;
    size_t folderDepth = 0;
    // The stat of folderHost taken by this lookup; not taken when `trusted`.
    struct stat folderStat {};
    bool folderStatKnown = false;
    // The folders came from the cache unchecked (see Resolve's `trustCache`); they were on
    // device `folderDev` when last looked at.
    bool trusted = false;
    dev_t folderDev = 0;
    // A folder's names were listed anew: `folderStat` is older than that listing.
    bool listedAnew = false;

    bool complete() const { return drive && found == names.size(); }
    // A last component found only in another case while the name as written is free: it is
    // taken as missing, spelt as written. For twins whose names differ only in case.
    void KeepWrittenCase();
    std::string Host() const { return HostPrefix(names.size()); }
    // Host path of the root plus the first `count` components.
    std::string HostPrefix(size_t count) const;
  };
  enum class Lookup {
    Full,
    // A last component in a folder looked into before may be answered from that folder's name
    // index: then `found` is right, but `foundIsFolder` tells nothing.
    Existence,
    // The last component is taken as spelt when the folder exists and no listing says it is
    // missing; `found` counts it unseen. For callers that open it next and look again (Full)
    // when that fails.
    Unchecked,
    // For a name about to be created with a call that never replaces (linkat, mkdir, a rename
    // without replacing): a current listing that lacks it in every case is enough, however
    // young, as the call itself refuses a name that appeared meanwhile.
    ToCreate,
  };
  // With `trustCache`, folders found before by their exact names are taken from the cache without
  // a stat, for callers that check the result before it matters: Unchecked for a file that is
  // opened or looked at next (its device tells a mount on the way), ToCreate for a name that is
  // looked up again just before it is made (only while the folder's index lacks the name).
  Resolved Resolve(const std::string& dosPath, Lookup lookup = Lookup::Full,
                   bool trustCache = false);

 private:
  // A file being written for a copy; removed again unless it was published.
  struct PendingFile;

  // A folder that belongs to another drive: the mount point of another file system or the host
  // folder of another drive of the table.
  bool IsForeignFolder(dev_t parentDev, dev_t dev, ino_t ino, const DriveMapping* own) const;
  std::vector<std::string> TrashFolders() const;

  // Resolve's steps: the folder of the last component taken from the cache unchecked (false
  // when the cache may not be trusted for this lookup), and the walk from the root or from a
  // cached folder.
  bool TakeTrusted(const FolderCache::Folder& cached, Lookup lookup, Resolved* r) const;
  void Walk(Resolved* r, Lookup lookup, const std::string& key, size_t start,
            struct stat folderStat);

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
  FolderNameIndex names_;
  FolderCache folders_;
};

}  // namespace qv
