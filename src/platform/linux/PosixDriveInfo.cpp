// What the file system tells about its drives: their kind, label, serial number and file system.
#include <blkid/blkid.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cctype>
#include <cstring>
#include <fstream>

#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixFileUtil.h"
#include "platform/linux/PosixMounts.h"

#ifndef FS_IOC_GETFSUUID
struct fsuuid2 {
  __u8 len;
  __u8 uuid[16];
};
#define FS_IOC_GETFSUUID _IOR(0x15, 0, struct fsuuid2)
#endif

namespace qv {
namespace {

std::string FsTypeOf(const std::string& hostFolder) {
  MountEntry m;
  if (MountOfPath(hostFolder, &m)) return m.fsType;
  struct statfs sfs;
  if (statfs(hostFolder.c_str(), &sfs) != 0) return "";
  switch (static_cast<unsigned long>(sfs.f_type)) {
    case EXT4_SUPER_MAGIC:
      return "ext4";
    case BTRFS_SUPER_MAGIC:
      return "btrfs";
    case XFS_SUPER_MAGIC:
      return "xfs";
    case MSDOS_SUPER_MAGIC:
      return "vfat";
    case TMPFS_MAGIC:
      return "tmpfs";
    case RAMFS_MAGIC:
      return "ramfs";
    case ISOFS_SUPER_MAGIC:
      return "iso9660";
    case UDF_SUPER_MAGIC:
      return "udf";
    case NFS_SUPER_MAGIC:
      return "nfs";
    case SMB_SUPER_MAGIC:
      return "smbfs";
    case 0xFF534D42:
      return "cifs";
    case 0xFE534D42:
      return "smb3";
    case V9FS_MAGIC:
      return "9p";
    default:
      return "";
  }
}

bool IsRemoteFsType(const std::string& type) {
  static const char* const kRemote[] = {
      "nfs",       "nfs4",       "cifs",        "smb3",           "smbfs",
      "9p",        "ceph",       "afs",         "davfs",          "ncpfs",
      "glusterfs", "fuse.sshfs", "fuse.rclone", "fuse.glusterfs", "fuse.davfs2"};
  for (const char* r : kRemote)
    if (type == r) return true;
  return false;
}

bool ReadFirstLine(const std::string& file, std::string* line) {
  std::ifstream in(file);
  return in && std::getline(in, *line);
}

// A block device on a removable medium or a USB bus.
bool IsRemovableBlock(dev_t rdev) {
  std::string link =
      "/sys/dev/block/" + std::to_string(major(rdev)) + ":" + std::to_string(minor(rdev));
  char* real = realpath(link.c_str(), nullptr);
  if (!real) return false;
  std::string sys = real;
  free(real);
  if (sys.find("/usb") != std::string::npos) return true;
  std::string value;
  // A partition has no flag of its own: its disk is the folder above.
  if (!ReadFirstLine(sys + "/removable", &value))
    ReadFirstLine(sys.substr(0, sys.rfind('/')) + "/removable", &value);
  return value == "1";
}

uint32_t SerialFromUuid(const std::string& uuid) {
  uint32_t serial = 0;
  int digits = 0;
  for (char c : uuid) {
    if (digits == 8) break;
    if (!std::isxdigit(static_cast<unsigned char>(c))) continue;
    serial = serial * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                     ? c - '0'
                                                     : std::tolower(c) - 'a' + 10);
    ++digits;
  }
  return serial;
}

bool ProbeDevice(const std::string& device, VolumeInfo* info) {
  blkid_probe probe = blkid_new_probe_from_filename(device.c_str());
  if (!probe) return false;
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe,
                                    BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
  bool ok = blkid_do_safeprobe(probe) == 0;
  if (ok) {
    const char* value = nullptr;
    if (blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value)
      info->label = value;
    if (blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0 && value)
      info->serial = SerialFromUuid(value);
    if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value)
      info->fileSystem = value;
  }
  blkid_free_probe(probe);
  return ok;
}

// What the mounted file system tells about itself, for when its device cannot be read.
void ProbeMountedFolder(const std::string& folder, VolumeInfo* info) {
  info->fileSystem = FsTypeOf(folder);
  const UniqueFd folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folderFd) return;
  const int fd = folderFd.get();
  char label[FSLABEL_MAX] = {};
  if (ioctl(fd, FS_IOC_GETFSLABEL, label) == 0)
    info->label.assign(label, strnlen(label, sizeof label));
  fsuuid2 uuid{};
  uuid.len = sizeof uuid.uuid;
  if (ioctl(fd, FS_IOC_GETFSUUID, &uuid) == 0 && uuid.len >= 4) {
    info->serial = (uint32_t{uuid.uuid[0]} << 24) | (uint32_t{uuid.uuid[1]} << 16) |
                   (uint32_t{uuid.uuid[2]} << 8) | uint32_t{uuid.uuid[3]};
  } else {
    struct statfs sfs;
    if (fstatfs(fd, &sfs) == 0) {
      uint32_t words[2];
      static_assert(sizeof words == sizeof sfs.f_fsid);
      std::memcpy(words, &sfs.f_fsid, sizeof words);
      info->serial = words[0];
    }
  }
}

}  // namespace

int PosixFileSystem::GetDriveType(const std::string& root) const {
  const DriveMapping* drive = table_.ForPath(root);
  struct stat st;
  if (!drive || stat(drive->hostFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    return kDriveNoRoot;
  MountEntry mount;
  bool mounted = MountOfPath(drive->hostFolder, &mount);
  std::string type = mounted ? mount.fsType : FsTypeOf(drive->hostFolder);
  if (type == "tmpfs" || type == "ramfs") return kDriveRamDisk;
  if (type == "iso9660" || type == "udf") return kDriveCdRom;
  if (IsRemoteFsType(type)) return kDriveRemote;
  std::string device = drive->device.empty() && mounted ? mount.source : drive->device;
  struct stat dev;
  if (!device.empty() && stat(device.c_str(), &dev) == 0 && S_ISBLK(dev.st_mode) &&
      IsRemovableBlock(dev.st_rdev))
    return kDriveRemovable;
  return kDriveFixed;
}

Result<VolumeInfo> PosixFileSystem::GetVolumeInfo(const std::string& root) const {
  const DriveMapping* drive = table_.ForPath(root);
  if (!drive) return Status::Error("no such drive");
  struct statfs sfs;
  if (statfs(drive->hostFolder.c_str(), &sfs) != 0) return ErrnoStatus();
  VolumeInfo v;
  // A sandbox may refuse even a read-only open of the device: then ask the mounted file system.
  if (drive->device.empty() || !ProbeDevice(drive->device, &v)) {
    v = VolumeInfo{};
    ProbeMountedFolder(drive->hostFolder, &v);
  }
  return v;
}

}  // namespace qv
