#include "platform/linux/CheckTarget.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cctype>
#include <fstream>

#include "platform/linux/PosixMounts.h"

namespace qv {

bool IsBlock(const std::string& path, dev_t* rdev) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
  if (rdev) *rdev = st.st_rdev;
  return true;
}

std::string ReadLine(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

std::vector<std::string> LoopsOf(const std::string& image) {
  std::vector<std::string> loops;
  struct stat img;
  if (stat(image.c_str(), &img) != 0 || !S_ISREG(img.st_mode)) return loops;
  DIR* dir = opendir("/sys/block");
  if (!dir) return loops;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.compare(0, 4, "loop") != 0) continue;
    const std::string backing = ReadLine("/sys/block/" + name + "/loop/backing_file");
    struct stat st;
    if (!backing.empty() && stat(backing.c_str(), &st) == 0 && st.st_dev == img.st_dev &&
        st.st_ino == img.st_ino)
      loops.push_back("/dev/" + name);
  }
  closedir(dir);
  return loops;
}

std::string BackingFile(dev_t rdev) {
  return ReadLine("/sys/dev/block/" + std::to_string(major(rdev)) + ":" +
                  std::to_string(minor(rdev)) + "/loop/backing_file");
}

CheckTarget FindCheckTarget(const PosixFileSystem& files, const std::string& root) {
  CheckTarget t;
  if (root.empty()) return t;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
  const DriveMapping* drive = nullptr;
  for (const DriveMapping& d : files.Drives())
    if (d.letter == letter) drive = &d;
  if (!drive) return t;
  // Only the last mount on the drive's folder is visible.
  const std::vector<MountEntry> mounts = ReadMountInfo();
  MountEntry mount;
  bool haveMount = false;
  for (const MountEntry& m : mounts)
    if (m.mountPoint == drive->hostFolder) {
      mount = m;
      haveMount = true;
    }
  t.device = drive->device;
  if (t.device.empty() && haveMount && IsBlock(mount.source, nullptr)) t.device = mount.source;
  if (t.device.empty()) return t;
  std::vector<std::string> loops = LoopsOf(t.device);
  t.inUseElsewhere = !loops.empty();
  // A loop device whose image another loop device serves too: the same file system may be
  // mounted through that one.
  dev_t own;
  if (IsBlock(t.device, &own)) {
    const std::string backing = BackingFile(own);
    if (!backing.empty() && LoopsOf(backing).size() > 1) t.inUseElsewhere = true;
  }
  if (haveMount) {
    dev_t rdev;
    bool same = IsBlock(t.device, &rdev) && rdev == makedev(mount.major, mount.minor);
    // An image file is mounted through the loop device that serves it.
    for (const std::string& loop : loops)
      if (IsBlock(loop, &rdev) && rdev == makedev(mount.major, mount.minor)) {
        same = true;
        t.device = loop;
        t.inUseElsewhere = loops.size() > 1;
      }
    if (same) {
      t.mounted = true;
      t.mountPoint = mount.mountPoint;
      t.source = mount.source;
      t.fsType = mount.fsType;
      t.mountOptions = mount.mountOptions;
      t.superOptions = mount.superOptions;
      t.root = mount.root;
      t.mountId = mount.id;
      t.mountDevice = makedev(mount.major, mount.minor);
      t.propagation = mount.propagation;
      for (const MountEntry& m : mounts)
        if (m.id != mount.id && m.major == mount.major && m.minor == mount.minor)
          t.mountedElsewhere = true;
      // A slave receives from mounts of the same file system, in this namespace or another.
      for (const std::string& p : mount.propagation)
        if (p.compare(0, 7, "master:") == 0) t.mountedElsewhere = true;
    }
  }
  return t;
}

}  // namespace qv
