// The drives of a Linux machine: the host folder each letter stands for, who each drive's root
// is (device, inode), and the device, mount and loop devices behind a drive. The file system,
// the junk scan, the volumes and the checker all look drives up here.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/common/DriveLetters.h"
#include "platform/linux/PosixMounts.h"

namespace qv {

class DriveTable {
 public:
  // Host folders are made absolute and canonical; the roots' identities are taken now.
  explicit DriveTable(std::vector<DriveMapping> drives);

  // The machine's table: the root file system is C:, every other mounted block device follows
  // from D: in mount order.
  static std::vector<DriveMapping> FromMounts();

  const std::vector<DriveMapping>& Drives() const { return drives_; }
  const DriveMapping* Find(char letter) const;
  // The drive of a DOS path ("X:..."); null when it names none of the table.
  const DriveMapping* ForPath(const std::string& dosPath) const;

  struct RootId {
    dev_t dev = 0;  // 0 where the folder was missing
    ino_t ino = 0;
  };
  RootId RootIdOf(const DriveMapping& drive) const;
  // The root folder of a drive of the table other than `own` (which may be null).
  bool IsOtherDriveRoot(const DriveMapping* own, dev_t dev, ino_t ino) const;
  // A drive other than `own` has its root folder on device `dev`.
  bool SharesDevice(dev_t dev, const DriveMapping* own) const;

  // The DOS path of an absolute host path ("C:\a\b", "C:\" for a drive root); empty when it
  // lies on no drive (outside every drive's folder, or on a file system mounted below one).
  std::string DosPathForHost(const std::string& hostPath) const;

  // What is mounted on a drive's folder now (only the last mount there is visible), and the
  // device behind the drive: its own, or else that mount's block device.
  struct Mounted {
    std::optional<MountEntry> mount;
    std::string device;
  };
  Mounted MountOf(const DriveMapping& drive) const;
  // The device number of a drive's root folder as it is now; 0 when it cannot be reached.
  static dev_t CurrentDevice(const DriveMapping& drive);

  // The loop devices that serve an image file, as /dev paths.
  static std::vector<std::string> LoopsOf(const std::string& image);
  // The image file behind a loop device; empty for any other device.
  static std::string BackingFile(dev_t rdev);

 private:
  std::vector<DriveMapping> drives_;
  std::vector<RootId> rootIds_;  // parallel to drives_
};

// Lexically normal absolute path, then resolved through the deepest existing ancestor.
std::string CanonicalHostPath(const std::string& given);

}  // namespace qv
