// What the running programs hold: open files, working and root folders, mapped files and the
// files of bound UNIX sockets, by device and inode, gathered from /proc.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>

namespace qv {

class InUseSet {
 public:
  void Add(dev_t dev, ino_t ino);
  bool Holds(dev_t dev, ino_t ino) const;
  // A cheap first test by the inode number a directory listing gives.
  bool MayHold(ino_t ino) const { return inodes_.count(ino) > 0; }
  size_t size() const { return entries_.size(); }

 private:
  struct Key {
    uint64_t dev, ino;
    bool operator==(const Key& o) const { return dev == o.dev && ino == o.ino; }
  };
  struct KeyHash {
    size_t operator()(const Key& k) const { return std::hash<uint64_t>()(k.ino * 31 + k.dev); }
  };
  std::unordered_set<Key, KeyHash> entries_;
  std::unordered_set<uint64_t> inodes_;
};

// Everything every process under `procRoot` holds that this process may look at, into `set`.
// `keepGoing` is called after each process (a long list must not freeze the window); when it
// answers false the gathering stops and false comes back: the set is then incomplete.
bool GatherInUse(const std::string& procRoot, InUseSet* set,
                 const std::function<bool()>& keepGoing = nullptr);

}  // namespace qv
