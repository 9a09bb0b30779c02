#include "platform/linux/CheckProbe.h"

#include <blkid/blkid.h>
#include <ext2fs/ext2fs.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "platform/linux/UniqueFd.h"

namespace qv {
namespace {

// "ext4" when an ext2/3/4 file system whose first superblock is damaged keeps a backup where
// e2fsck looks for one (and repairs from it); empty otherwise.
std::string BackupSuperblockType(int fd) {
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  for (unsigned blockSize = 1024; blockSize <= 65536; blockSize *= 2) {
    ext2_filsys fs = nullptr;
    const blk64_t superblock = blockSize * 8 + (blockSize == 1024 ? 1 : 0);
    if (ext2fs_open(name.c_str(), EXT2_FLAG_64BITS | EXT2_FLAG_SKIP_MMP,
                    static_cast<int>(superblock), blockSize, unix_io_manager, &fs) == 0) {
      ext2fs_close_free(&fs);
      return "ext4";
    }
  }
  return {};
}

}  // namespace

std::string ProbeType(int fd) {
  blkid_probe probe = blkid_new_probe();
  if (!probe) return {};
  std::string type;
  int found = -1;
  if (blkid_probe_set_device(probe, fd, 0, 0) == 0) {
    blkid_probe_enable_superblocks(probe, 1);
    // A superblock whose checksum is wrong is still the checker's to repair.
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_BADCSUM);
    const char* value = nullptr;
    found = blkid_do_safeprobe(probe);
    if (found == 0 && blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value)
      type = value;
  }
  blkid_free_probe(probe);
  // Nothing at all (not two signatures at once): perhaps only the first superblock is gone.
  if (found == 1) type = BackupSuperblockType(fd);
  return type;
}

bool ReadOnlyDevice(const std::string& device) {
  UniqueFd fd(open(device.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) return false;
  struct stat st;
  int readOnly = 0;
  const bool block = fstat(fd.get(), &st) == 0 && S_ISBLK(st.st_mode);
  if (block && ioctl(fd.get(), BLKROGET, &readOnly) != 0) readOnly = 0;
  fd.reset();
  if (!block) return access(device.c_str(), W_OK) != 0 && errno == EROFS;
  return readOnly != 0;
}

std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs =
      path && *path ? path : "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
  // The checkers live in sbin, which a user's PATH may lack.
  dirs += ":/usr/sbin:/sbin";
  std::istringstream in(dirs);
  std::string dir;
  while (std::getline(in, dir, ':')) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + name;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}

}  // namespace qv
