// Which volume the disk check works on: the device behind a drive (from the drive table), where
// it is mounted, and whether a loop device serves it elsewhere too.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/linux/PosixFileSystem.h"

namespace qv {

// The volume behind a drive and where it is mounted as that drive.
struct CheckTarget {
  std::string device;      // block device or image file; empty when the drive has none
  bool mounted = false;    // the device is mounted on the drive's folder
  std::string mountPoint;  // then: where, and how
  std::string source, fsType, mountOptions, superOptions;
  std::string root;  // the folder of the file system mounted there
  int mountId = 0;
  dev_t mountDevice = 0;
  std::vector<std::string> propagation;  // as mountinfo shows it
  bool mountedElsewhere = false;         // the same file system is mounted elsewhere too
  bool inUseElsewhere = false;           // an image file that a loop device serves
};

// The target of a drive root ("D:\"); an empty device when the drive has none.
CheckTarget FindCheckTarget(const PosixFileSystem& files, const std::string& root);

}  // namespace qv
