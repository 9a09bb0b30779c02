// DOS paths looked up on the host: component by component from the drive's folder, names
// matched without regard to case, folders of other drives left out. Folders found before are kept
// (FolderCache) and folder listings indexed (FolderNameIndex), so that a copy's lookups of name
// after name in one folder cost no walk and no listing each; the owner reports its own changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/DriveTable.h"
#include "platform/linux/PosixFolderCache.h"
#include "platform/linux/PosixNameIndex.h"

namespace qv {

// Who a folder was and when it last changed, as a lookup saw it.
struct FolderStamp {
  uint64_t dev = 0;
  uint64_t ino = 0;
  int64_t ctimeSec = 0;
  int64_t ctimeNsec = 0;
};

class PathResolver {
 public:
  // `listed` is called with a folder's host path each time it has been listed for its index.
  PathResolver(const DriveTable& drives, std::function<void(const std::string&)> listed);

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
    // folderHost as this lookup saw it; not looked at when `trusted`.
    FolderStamp folderSeen;
    bool folderStatKnown = false;
    // The folders came from the cache unchecked (see Resolve's `trustCache`); they were on
    // device `folderDev` when last looked at.
    bool trusted = false;
    uint64_t folderDev = 0;
    // A folder's names were listed anew: `folderSeen` is older than that listing.
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
  Resolved Resolve(const std::string& dosPath, Lookup lookup, bool trustCache);

  // A folder that belongs to another drive: the mount point of another file system or the host
  // folder of another drive of the table.
  bool IsForeignFolder(uint64_t parentDev, uint64_t dev, uint64_t ino,
                       const DriveMapping* own) const;

  // Around a creation in a host folder: NoteChanging just before (with the folder as a lookup
  // just saw it, when it did), NoteCreated after; NoteRemoved after a removal or rename.
  void NoteChanging(const std::string& folder);
  void NoteChanging(const std::string& folder, const Resolved& seen);
  void NoteCreated(const std::string& hostPath) { names_.NoteCreated(hostPath); }
  void NoteRemoved(const std::string& hostPath) { names_.NoteRemoved(hostPath); }
  // False only when the folder's current index shows no entry of that name.
  bool MayHold(const std::string& folder, const std::string& name) const {
    return names_.MayHold(folder, name);
  }

 private:
  // Resolve's steps: the folder of the last component taken from the cache unchecked (false
  // when the cache may not be trusted for this lookup), and the walk from the root or from a
  // cached folder.
  bool TakeTrusted(const FolderCache::Folder& cached, Lookup lookup, Resolved* r) const;
  void Walk(Resolved* r, Lookup lookup, const std::string& key, size_t start,
            struct stat folderStat);

  const DriveTable& drives_;
  FolderNameIndex names_;
  FolderCache folders_;
};

}  // namespace qv
