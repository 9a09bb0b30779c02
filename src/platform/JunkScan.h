// What the junk cleaner needs of the drives beyond FileSystem: a walk that follows no link and
// stays on its drive's file system, and the entries that must stay because something holds them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Status.h"

namespace qv {

struct JunkScanEntry {
  std::string name;
  bool isFolder = false;    // a folder of the drive's own file system (links never are)
  bool kept = false;        // in use by a running program, a socket, FIFO or device node
  bool recycleBin = false;  // a recycle-bin folder of this system: never searched, never junk
  // Another user's, directly in a folder that users share (/tmp): never searched, never junk.
  bool othersOwn = false;
};

// Who an entry is, to tell it from whatever stands under its name later.
struct JunkIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool isFolder = false;
};

// An entry that may go, as Examine saw it.
struct JunkItem {
  JunkIdentity id;
  uint64_t bytes = 0;  // its length; 0 for anything but a regular file
};

class JunkScan {
 public:
  virtual ~JunkScan() = default;

  // Gathers what running programs hold (open files, working and root folders, mapped files,
  // bound sockets); the answers below use the last gathering. `keepGoing` is called between
  // processes; when it answers false the gathering stops, false comes back, and nothing may be
  // taken for free on the strength of it.
  virtual bool GatherInUse(const std::function<bool()>& keepGoing) = 0;

  // The entries of a folder (DOS path) reached from its drive's root without following a link
  // and without leaving the drive's file system; mount points of other file systems are left
  // out. Names are in the form the explorer shows (the private-use mapping of FileSystem). Fails
  // when the folder cannot be reached that way.
  virtual Result<std::vector<JunkScanEntry>> List(const std::string& folder) = 0;

  // The entry when it may go; nothing when it is kept, or is a folder that holds anything kept,
  // a recycle bin or another file system's mount point anywhere below it, or belongs to
  // another user and lies directly in a folder that users share (a sticky one such as /tmp).
  // `keepGoing` is called now and then during long walks below a folder; when it answers false
  // the entry counts as kept.
  virtual std::optional<JunkItem> Examine(const std::string& path,
                                          const std::function<bool()>& keepGoing) = 0;

  // Just before a deletion: the path still leads, without links and on the drive's file system,
  // to the entry that Examine saw, and that entry may still go.
  virtual bool Recheck(const std::string& path, const JunkIdentity& id,
                       const std::function<bool()>& keepGoing) = 0;

  // Whether nothing at all stands under the path any more (it went with a folder above it);
  // false when something does, or a link or another file system now stands in the way.
  virtual bool Gone(const std::string& path) = 0;

  // "windows temp", "user temp" or "cookies" as a DOS folder path with its final "\"; empty
  // where this system has no such folder or it lies on no drive.
  virtual std::string SpecialFolder(const std::string& which) const = 0;
};

}  // namespace qv
