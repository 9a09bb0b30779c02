// The mount table of the running process (/proc/self/mountinfo).
#pragma once

#include <string>
#include <vector>

namespace qv {

struct MountEntry {
  int id = 0, parent = 0;  // mount ids
  unsigned major = 0, minor = 0;
  std::string root;        // folder of the file system that is mounted
  std::string mountPoint;  // where it is mounted
  std::string fsType;
  std::string source;
  std::string mountOptions;              // of this mount ("rw,nosuid,relatime")
  std::string superOptions;              // of the file system ("rw,errors=remount-ro")
  std::vector<std::string> propagation;  // "shared:1", "master:2", "unbindable"; none: private
};

// Entries in mount order; empty when the table cannot be read.
std::vector<MountEntry> ReadMountInfo(const std::string& file = "/proc/self/mountinfo");
std::vector<MountEntry> ParseMountInfo(const std::string& text);

// The mount that holds an existing host path (matched by device number, deepest mount point).
bool MountOfPath(const std::string& hostPath, MountEntry* mount);

}  // namespace qv
