#include "platform/linux/CheckTarget.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <optional>

#include "platform/linux/DriveTable.h"
#include "platform/linux/PosixMounts.h"

namespace qv {

namespace {

// The device number of a block device; nothing for any other file.
std::optional<dev_t> BlockDevice(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
  return st.st_rdev;
}

}  // namespace

CheckTarget FindCheckTarget(const PosixFileSystem& files, const std::string& root) {
  CheckTarget t;
  if (root.empty()) return t;
  const DriveMapping* drive = files.Table().Find(root[0]);
  if (!drive) return t;
  const DriveTable::Mounted mounted = files.Table().MountOf(*drive);
  t.device = mounted.device;
  if (t.device.empty()) return t;
  std::vector<std::string> loops = DriveTable::LoopsOf(t.device);
  t.inUseElsewhere = !loops.empty();
  // A loop device whose image another loop device serves too: the same file system may be
  // mounted through that one.
  if (const std::optional<dev_t> own = BlockDevice(t.device)) {
    const std::string backing = DriveTable::BackingFile(*own);
    if (!backing.empty() && DriveTable::LoopsOf(backing).size() > 1) t.inUseElsewhere = true;
  }
  if (!mounted.mount) return t;
  const MountEntry& mount = *mounted.mount;
  const dev_t mountDevice = makedev(mount.major, mount.minor);
  bool same = BlockDevice(t.device) == mountDevice;
  // An image file is mounted through the loop device that serves it.
  for (const std::string& loop : loops)
    if (BlockDevice(loop) == mountDevice) {
      same = true;
      t.device = loop;
      t.inUseElsewhere = loops.size() > 1;
    }
  if (!same) return t;
  t.mounted = true;
  t.mountPoint = mount.mountPoint;
  t.source = mount.source;
  t.fsType = mount.fsType;
  t.mountOptions = mount.mountOptions;
  t.superOptions = mount.superOptions;
  t.root = mount.root;
  t.mountId = mount.id;
  t.mountDevice = mountDevice;
  t.propagation = mount.propagation;
  for (const MountEntry& m : ReadMountInfo())
    if (m.id != mount.id && m.major == mount.major && m.minor == mount.minor)
      t.mountedElsewhere = true;
  // A slave receives from mounts of the same file system, in this namespace or another.
  for (const std::string& p : mount.propagation)
    if (p.compare(0, 7, "master:") == 0) t.mountedElsewhere = true;
  return t;
}

}  // namespace qv
