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
#include <unordered_map>
#include <vector>

#include "platform/FileSystem.h"

namespace qv {

struct DriveMapping {
  char letter = 0;
  std::string hostFolder;
  std::string device;  // block device or image file behind the drive; may be empty
};

class PosixFileSystem : public FileSystem {
 public:
  PosixFileSystem(std::vector<DriveMapping> drives, std::string exeHostFolder);

  // The drive table of the machine: the root file system is C:, every other mounted block
  // device follows from D: in mount order.
  static std::unique_ptr<PosixFileSystem> FromMounts(const std::string& exeHostFolder);
  // Host folder that holds the running binary.
  static std::string RunningExecutableFolder();

  const std::vector<DriveMapping>& Drives() const { return drives_; }
  // The DOS path of a host path ("C:\a\b", "C:\" for a drive root); empty when on no drive.
  std::string DosPathForHost(const std::string& hostPath) const;

  std::string ExecutableFolder() const override;
  std::vector<std::string> LogicalDrives() const override;
  int GetDriveType(const std::string& root) const override;
  bool GetVolumeInfo(const std::string& root, VolumeInfo* info) const override;
  bool GetFreeSpace(const std::string& path, uint64_t* freeToCaller,
                    uint64_t* total) const override;
  bool ListFolder(const std::string& folder, std::vector<DirEntry>* entries,
                  bool sizesAndTimes = true) const override;
  bool IsFolder(const std::string& path) const override;
  PathState Probe(const std::string& path) const override;
  bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* data) const override;
  std::string HostPath(const std::string& dosPath) const override;

  bool CreateFolder(const std::string& path) override;
  bool CreatePath(const std::string& folderPath) override;
  bool Rename(const std::string& from, const std::string& to) override;
  bool FileLength(const std::string& path, uint64_t* bytes) const override;
  CopyResult CopyFile(const std::string& from, const std::string& to,
                      const CopyProgressFn& progress) override;
  bool DeleteToTrash(const std::string& path) override;
  bool EmptyTrash() override;

  // Test hooks: the bytes copied between two progress calls, forcing the read/write copy, and
  // forcing the named temporary used where a file system has no unnamed files.
  void SetCopyChunkBytes(size_t bytes) { copyChunk_ = bytes ? bytes : 1; }
  void SetForceReadWriteCopy(bool force) { forceReadWrite_ = force; }
  void SetForceNamedTemporary(bool force) { forceNamed_ = force; }
  // Links an unnamed file through /proc, as on kernels that refuse linking the descriptor.
  void SetLinkThroughProc(bool through) { linkThroughProc_ = through; }
  // Called with a folder's host path each time it has been listed for its name index.
  void SetListedHook(std::function<void(const std::string&)> hook) { listed_ = std::move(hook); }

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
  // opened next (its device tells a mount on the way), ToCreate for a name that is looked up
  // again just before it is made (only while the folder's index lacks the name).
  Resolved Resolve(const std::string& dosPath, Lookup lookup = Lookup::Full,
                   bool trustCache = false) const;

 private:
  struct IndexedName {
    std::string name;  // as on disk
    bool mayBeFolder;  // a folder, or not known
  };
  // Keyed by the folder's status-change time, which, unlike its modification time, no program
  // can set back.
  struct CaseIndex {
    dev_t dev;
    ino_t ino;
    timespec ctime;
    // The folder had not changed for a while when it was listed: no change can have slipped in
    // within the time stamp's granularity (FAT's is 2 s), so the listing is the whole truth
    // while ctime holds, a missing name included.
    bool settled;
    std::unordered_map<std::string, IndexedName> byFolded;  // folded name -> entry
    // Seen unchanged just before a change of this object's own.
    bool changing = false;
    // Changed by this object since: the folder's next time is ours if it is no later than
    // `ownChangeBy` (taken just after the change), and the index stays.
    bool ownChange = false;
    timespec ownChangeBy{};
  };

  // A folder a DOS folder path led to. The answer stays right while the host folder is the same
  // one and no folder where a name was matched only without regard to case has changed.
  struct FolderLevel {
    std::string host;
    dev_t dev;
    ino_t ino;
    timespec ctime;
  };
  struct CachedFolder {
    std::vector<std::string> names;  // host names of the components below the root
    std::string host;                // their host path
    dev_t dev;
    ino_t ino;
    std::vector<FolderLevel> caseMatched;  // folders whose name was found by FindByCase
  };

  struct RootId {
    dev_t dev;
    ino_t ino;
  };

  const DriveMapping* DriveFor(const std::string& dosPath) const;
  // A folder that belongs to another drive: the mount point of another file system or the host
  // folder of another drive of the table.
  bool IsForeignFolder(dev_t parentDev, dev_t dev, ino_t ino, const DriveMapping* own) const;
  // Another drive of the table has its folder on device `dev`.
  bool SharesDevice(dev_t dev, const DriveMapping* own) const;
  std::vector<std::string> TrashFolders() const;
  // `trustCache`: the target's folder may be taken from the cache (see Resolve).
  CopyResult CopyFileFrom(const std::string& from, const std::string& to,
                          const CopyProgressFn& progress, bool trustCache);
  // First entry of `folder` (listing order) whose name matches `name` without regard to case.
  // `st` is the folder's stat, just taken by the caller.
  bool FindByCase(const std::string& folder, const struct stat& st, const std::string& name,
                  std::string* match) const;
  // The name index of `folder` (its stat `st` just taken), listed anew when it is out of date
  // (with `list`; else null); null when the folder cannot be listed.
  const CaseIndex* IndexOf(const std::string& folder, const struct stat& st,
                           bool list = true) const;
  // Around a creation in `folder`: NoteChanging just before it keeps the folder's index only if
  // nobody changed the folder since it was listed, NoteCreated after it adds the new name.
  // `st`: the folder's stat just taken by the caller, if any.
  void NoteChanging(const std::string& folder, const struct stat* st = nullptr) const;
  void NoteCreated(const std::string& hostPath) const;
  void NoteRemoved(const std::string& hostPath) const;
  // False only when the folder's current name index shows no entry of that name.
  bool MayHoldName(const std::string& folder, const std::string& name) const;

  std::vector<DriveMapping> drives_;
  std::vector<RootId> rootIds_;  // parallel to drives_; dev 0 where the folder was missing
  std::string exeHostFolder_;
  size_t copyChunk_ = size_t{8} << 20;
  bool forceReadWrite_ = false;
  bool forceNamed_ = false;
  bool linkThroughProc_ = false;
  dev_t namedOnlyDevice_ = 0;  // the last device found without unnamed files
  std::function<void(const std::string&)> listed_;
  mutable uint64_t listings_ = 0;
  mutable std::unordered_map<std::string, CaseIndex> caseIndex_;
  // Keyed by drive letter and the names as the caller spelt them.
  mutable std::unordered_map<std::string, CachedFolder> folderCache_;
};

}  // namespace qv
