// Folder listings indexed by case-folded name, for looking names up without regard to case.
// The copy engine probes and copies name after name into one folder: a fresh listing per lookup
// would make that quadratic, so each folder's names are indexed and the index is kept up to date
// by the owner's own changes. A change by someone else shows in the folder's ctime.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <unordered_map>

namespace qv {

// Case-insensitive comparison key: Unicode case folding for UTF-8 names, ASCII otherwise.
std::string FoldCase(const std::string& name);

class FolderNameIndex {
 public:
  struct Name {
    std::string name;  // as on disk
    bool mayBeFolder;  // a folder, or not known
  };
  // Keyed by the folder's status-change time, which, unlike its modification time, no program
  // can set back.
  struct Index {
    dev_t dev;
    ino_t ino;
    timespec ctime;
    // The folder had not changed for a while when it was listed: no change can have slipped in
    // within the time stamp's granularity (FAT's is 2 s), so the listing is the whole truth
    // while ctime holds, a missing name included.
    bool settled;
    std::unordered_map<std::string, Name> byFolded;  // folded name -> first in listing order
    // Seen unchanged just before a change of the owner's own.
    bool changing = false;
    // Changed by the owner since: the folder's next ctime is ours if it is no later than
    // `ownChangeBy` (taken just after the change), and the index stays.
    bool ownChange = false;
    timespec ownChangeBy{};

    const Name* Find(const std::string& name) const;
  };

  // `listed` is called with a folder's host path each time it has been listed.
  explicit FolderNameIndex(std::function<void(const std::string&)> listed = {})
      : listed_(std::move(listed)) {}

  // The index of `folder` (its stat `st` just taken), listed anew when it is out of date (with
  // `list`; else null); null when the folder cannot be listed.
  const Index* Of(const std::string& folder, const struct stat& st, bool list = true);
  // First entry of `folder` (listing order) whose name matches `name` without regard to case.
  bool FindByCase(const std::string& folder, const struct stat& st, const std::string& name,
                  std::string* match);
  // Around a creation in `folder`: NoteChanging just before it keeps the folder's index only if
  // nobody changed the folder since it was listed, NoteCreated after it adds the new name.
  // `st`: the folder's stat just taken by the caller, if any.
  void NoteChanging(const std::string& folder, const struct stat* st = nullptr);
  void NoteCreated(const std::string& hostPath);
  void NoteRemoved(const std::string& hostPath);
  // False only when the folder's current index shows no entry of that name.
  bool MayHold(const std::string& folder, const std::string& name) const;
  // Folders listed so far: a lookup can tell whether it listed one.
  uint64_t Listings() const { return listings_; }

 private:
  std::function<void(const std::string&)> listed_;
  uint64_t listings_ = 0;
  std::unordered_map<std::string, Index> byFolder_;
};

}  // namespace qv
