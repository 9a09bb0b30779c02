#include "platform/linux/PosixFileSystem.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <new>
#include <stdexcept>

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

PosixFileSystem::PosixFileSystem(std::vector<DriveMapping> drives, std::string exeHostFolder,
                                 Options options)
    : table_(std::move(drives)),
      options_(std::move(options)),
      linkThroughProc_(options_.linkThroughProc),
      names_(options_.listed) {
  if (options_.copyChunkBytes == 0) options_.copyChunkBytes = 1;
  exeHostFolder_ = CanonicalHostPath(exeHostFolder);
}

std::unique_ptr<PosixFileSystem> PosixFileSystem::FromMounts(const std::string& exeHostFolder) {
  return std::make_unique<PosixFileSystem>(DriveTable::FromMounts(), exeHostFolder);
}

std::string PosixFileSystem::RunningExecutableFolder() {
  char* exe = realpath("/proc/self/exe", nullptr);
  if (!exe) return "";
  std::string path = exe;
  free(exe);
  size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool PosixFileSystem::IsForeignFolder(dev_t parentDev, dev_t dev, ino_t ino,
                                      const DriveMapping* own) const {
  return dev != parentDev || table_.IsOtherDriveRoot(own, dev, ino);
}

std::string PosixFileSystem::Resolved::HostPrefix(size_t count) const {
  if (!drive) return "";
  count = std::min(count, names.size());
  if (count == folderDepth && !folderHost.empty()) return folderHost;
  if (count == folderDepth + 1 && !folderHost.empty())
    return JoinHost(folderHost, names[count - 1]);
  std::string host = drive->hostFolder;
  for (size_t i = 0; i < count; ++i) host = JoinHost(host, names[i]);
  return host;
}

void PosixFileSystem::Resolved::KeepWrittenCase() {
  if (!complete() || names.empty() || names.back() == lastWritten) return;
  struct stat st;
  const std::string written = JoinHost(HostPrefix(names.size() - 1), lastWritten);
  if (lstat(written.c_str(), &st) == 0 || errno != ENOENT) return;
  names.back() = lastWritten;
  --found;
}

bool PosixFileSystem::TakeTrusted(const FolderCache::Folder& c, Lookup lookup, Resolved* r) const {
  // Names matched without regard to case, and another drive on the same device, need the
  // checks of a walk; anything else the caller's own check covers.
  if (!c.caseMatched.empty() || table_.SharesDevice(c.dev, r->drive)) return false;
  if (lookup != Lookup::Unchecked &&
      (lookup != Lookup::ToCreate || names_.MayHold(c.host, r->names.back())))
    return false;
  std::copy(c.names.begin(), c.names.end(), r->names.begin());
  r->found = c.names.size() + (lookup == Lookup::Unchecked ? 1 : 0);
  r->foundIsFolder = true;
  r->folderHost = c.host;
  r->folderDepth = c.names.size();
  r->trusted = true;
  r->folderDev = c.dev;
  return true;
}

PosixFileSystem::Resolved PosixFileSystem::Resolve(const std::string& dosPath, Lookup lookup,
                                                   bool trustCache) {
  Resolved r;
  const uint64_t listingsBefore = names_.Listings();
  std::optional<DosPath> split = SplitDosPath(dosPath);
  if (!split) return r;
  const char letter = split->letter;
  r.names = std::move(split->names);
  r.trailingSeparator = split->trailingSeparator;
  r.drive = table_.ForPath(dosPath);
  if (!r.drive) return r;
  if (!r.names.empty()) r.lastWritten = r.names.back();
  // Files are looked up one after another in the same folders: the folder's path is known
  // already when one stat still finds the same folder there.
  std::string key;
  struct stat folderStat;
  size_t start = 0;
  if (r.names.size() >= 2) {
    key = FolderCache::KeyOfParent(letter, r.names);
    const FolderCache::Folder* cached = trustCache ? folders_.Find(key) : nullptr;
    if (cached && TakeTrusted(*cached, lookup, &r)) return r;
    cached = folders_.Checked(key, &folderStat);
    if (cached) {
      std::copy(cached->names.begin(), cached->names.end(), r.names.begin());
      r.folderHost = cached->host;
      start = r.found = cached->names.size();
    }
  }
  if (start == 0) {
    r.folderHost = r.drive->hostFolder;
    if (stat(r.folderHost.c_str(), &folderStat) != 0 || !S_ISDIR(folderStat.st_mode)) {
      r.folderHost.clear();
      return r;
    }
  }
  r.foundIsFolder = true;
  r.folderDepth = start;
  Walk(&r, lookup, key, start, folderStat);
  r.listedAnew = names_.Listings() != listingsBefore;
  return r;
}

void PosixFileSystem::Walk(Resolved* rp, Lookup lookup, const std::string& key, size_t start,
                           struct stat folderStat) {
  Resolved& r = *rp;
  std::string folder = r.folderHost;
  std::vector<FolderCache::Level> caseMatched;
  for (size_t i = start; i < r.names.size(); ++i) {
    std::string name = r.names[i];
    const bool last = i + 1 == r.names.size();
    // The copy engine asks for name after name in one folder: one listing answers them all.
    if (lookup == Lookup::Existence && start > 0 && last) {
      const FolderNameIndex::Index* index = names_.Of(folder, folderStat);
      if (index && index->settled) {
        const FolderNameIndex::Name* found = index->Find(name);
        if (!found) break;
        // A folder may be another drive's: the path below decides.
        if (!found->mayBeFolder) {
          r.names[i] = found->name;
          r.found = i + 1;
          break;
        }
      }
    }
    if (last) {
      // A name that a settled listing of the folder lacks in every case is missing: the copy
      // engine's lookups of target files in a complete backup end here.
      const FolderNameIndex::Index* index =
          names_.Of(folder, folderStat, lookup == Lookup::ToCreate);
      if (index && (index->settled || lookup == Lookup::ToCreate) && !index->Find(name)) break;
      if (lookup == Lookup::Unchecked) {
        r.found = i + 1;
        break;
      }
    }
    std::string path = JoinHost(folder, name);
    struct stat st;
    bool exists = lstat(path.c_str(), &st) == 0;
    if (!exists && names_.FindByCase(folder, folderStat, r.names[i], &name)) {
      path = JoinHost(folder, name);
      exists = lstat(path.c_str(), &st) == 0;
      caseMatched.push_back({folder, folderStat.st_dev, folderStat.st_ino, folderStat.st_ctim});
    }
    // A folder of another drive counts as missing here: it is not part of this drive.
    if (!exists ||
        (S_ISDIR(st.st_mode) && IsForeignFolder(folderStat.st_dev, st.st_dev, st.st_ino, r.drive)))
      break;
    r.names[i] = name;
    r.found = i + 1;
    if (last) break;
    // What lstat saw of a folder is what stat would see; only a link needs following.
    if (S_ISDIR(st.st_mode)) {
      folderStat = st;
    } else if (!S_ISLNK(st.st_mode) || stat(path.c_str(), &folderStat) != 0 ||
               !S_ISDIR(folderStat.st_mode)) {
      r.foundIsFolder = false;
      break;
    }
    folder = path;
    r.folderHost = folder;
    r.folderDepth = i + 1;
    if (i + 2 == r.names.size() && start == 0)
      folders_.Store(key, {std::vector<std::string>(r.names.begin(), r.names.begin() + i + 1),
                           folder, folderStat.st_dev, folderStat.st_ino, std::move(caseMatched)});
  }
  r.folderStat = folderStat;
  r.folderStatKnown = r.foundIsFolder;
}

std::string PosixFileSystem::HostPath(const std::string& dosPath) {
  Resolved r = Resolve(dosPath);
  if (!r.drive) return "";
  std::string host = r.Host();
  if (r.trailingSeparator && host.back() != '/') host += '/';
  return host;
}

std::string PosixFileSystem::DosPathForHost(const std::string& hostPath) const {
  return table_.DosPathForHost(hostPath);
}

std::string PosixFileSystem::ExecutableFolder() const {
  return DosPathForHost(exeHostFolder_);
}

std::vector<std::string> PosixFileSystem::LogicalDrives() const {
  std::vector<std::string> roots;
  for (const DriveMapping& d : table_.Drives()) roots.push_back(std::string(1, d.letter) + ":\\");
  return roots;
}

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

Result<FreeSpace> PosixFileSystem::GetFreeSpace(const std::string& path) {
  Resolved r = Resolve(path);
  if (!r.drive) return Status::Error("no such drive");
  struct statvfs sv;
  if (statvfs(r.HostPrefix(r.found).c_str(), &sv) != 0) return ErrnoStatus();
  FreeSpace space;
  space.freeToCaller = uint64_t{sv.f_bavail} * sv.f_frsize;
  space.total = uint64_t{sv.f_blocks} * sv.f_frsize;
  return space;
}

namespace {

// Listings come in name order without regard to case, as Windows users see them; the file
// system's own order (a hash on ext4) looks random in the explorer.
void SortByName(std::vector<DirEntry>* entries) {
  std::vector<std::pair<std::string, DirEntry>> keyed;
  keyed.reserve(entries->size());
  for (DirEntry& e : *entries) keyed.emplace_back(FoldCase(e.name), std::move(e));
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
  });
  entries->clear();
  for (auto& k : keyed) entries->push_back(std::move(k.second));
}

}  // namespace

Result<std::vector<DirEntry>> PosixFileSystem::ListFolder(const std::string& folder,
                                                          ListDetail detail) {
  const bool sizesAndTimes = detail == ListDetail::Full;
  Resolved r = Resolve(folder);
  if (!r.drive) return Status::Error("no such drive");
  if (!r.complete()) return Status::Error(std::strerror(ENOENT));
  UniqueFd folderFd(open(r.Host().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folderFd) return ErrnoStatus();
  struct stat folderStat;
  DIR* dir = fstat(folderFd.get(), &folderStat) == 0 ? fdopendir(folderFd.get()) : nullptr;
  if (!dir) return ErrnoStatus();
  const int fd = folderFd.release();  // the listing owns it now
  std::vector<DirEntry> listed;
  std::vector<DirEntry>* entries = &listed;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = MapHostName(name);
    entry.hidden = name[0] == '.';
    // Only a folder can be another drive, and only a link needs a look at what it leads to.
    if (!sizesAndTimes && e->d_type != DT_DIR && e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) {
      entry.kind = e->d_type == DT_REG    ? EntryKind::File
                   : e->d_type == DT_FIFO ? EntryKind::Fifo
                   : e->d_type == DT_SOCK ? EntryKind::Socket
                                          : EntryKind::Device;
      entries->push_back(std::move(entry));
      continue;
    }
    struct stat st;
    if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    entry.modified = st.st_mtime;
    if (S_ISDIR(st.st_mode)) {
      if (IsForeignFolder(folderStat.st_dev, st.st_dev, st.st_ino, r.drive)) continue;
      entry.isFolder = true;
      entry.kind = EntryKind::Folder;
    } else if (S_ISLNK(st.st_mode)) {
      // Links count as files so that walks never follow them; a link to a file has its size.
      struct stat target;
      entry.kind = EntryKind::DanglingLink;
      if (fstatat(fd, e->d_name, &target, 0) == 0) {
        entry.kind = S_ISREG(target.st_mode)   ? EntryKind::LinkToFile
                     : S_ISDIR(target.st_mode) ? EntryKind::LinkToFolder
                                               : EntryKind::Device;
        if (S_ISREG(target.st_mode)) {
          entry.size = static_cast<uint64_t>(target.st_size);
          entry.modified = target.st_mtime;
        }
      }
    } else if (S_ISREG(st.st_mode)) {
      entry.size = static_cast<uint64_t>(st.st_size);
    } else {
      entry.kind = S_ISFIFO(st.st_mode)   ? EntryKind::Fifo
                   : S_ISSOCK(st.st_mode) ? EntryKind::Socket
                                          : EntryKind::Device;
    }
    entries->push_back(std::move(entry));
  }
  closedir(dir);
  SortByName(entries);
  return listed;
}

bool PosixFileSystem::IsFolder(const std::string& path, FollowLinks links) {
  Resolved r = Resolve(path);
  struct stat st;
  if (!r.complete()) return false;
  if (r.names.empty() || links == FollowLinks::Yes)
    return stat(r.Host().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return lstat(r.Host().c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

PathState PosixFileSystem::Probe(const std::string& path, NameCase nameCase) {
  Resolved r = Resolve(path, Lookup::Existence);
  if (nameCase == NameCase::Exact) r.KeepWrittenCase();
  if (!r.drive || r.complete() || r.found + 1 != r.names.size()) return PathState::Present;
  return r.foundIsFolder ? PathState::Absent : PathState::Present;
}

Result<std::vector<uint8_t>> PosixFileSystem::ReadWholeFile(const std::string& path) {
  Resolved r = Resolve(path);
  if (!r.drive) return Status::Error("no such drive");
  if (!r.complete()) return Status::Error(std::strerror(ENOENT));
  struct stat st;
  const UniqueFd file = OpenRegularForReading(r.Host(), &st);
  if (!file) return ErrnoStatus();
  const int fd = file.get();
  std::vector<uint8_t> bytes;
  std::vector<uint8_t>* data = &bytes;
  int error = 0;
  // Read straight into place at the length the file tells, one byte more to see its end; a
  // file that grows or tells no length grows the buffer as it goes. Settings, layouts and
  // pictures are far smaller than the limit: a larger file is refused before memory runs out.
  const size_t kLimit = size_t{256} << 20;
  size_t filled = 0;
  bool ok = static_cast<uint64_t>(st.st_size) <= kLimit;
  try {
    if (ok) data->resize(static_cast<size_t>(st.st_size) + 1);
    while (ok) {
      if (filled == data->size()) {
        ok = data->size() <= kLimit;
        if (!ok) break;
        data->resize(std::max<size_t>(65536, data->size() * 2));
      }
      ssize_t n = read(fd, data->data() + filled, data->size() - filled);
      if (n < 0 && (errno == EINTR || StopNonBlocking(fd, errno))) continue;
      if (n < 0) {
        error = errno;
        ok = false;
      }
      if (n <= 0) break;
      filled += static_cast<size_t>(n);
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  } catch (const std::length_error&) {
    ok = false;
  }
  if (!ok) return Status::Error(error ? std::strerror(error) : "too large to read whole");
  bytes.resize(filled);
  return bytes;
}

Result<uint64_t> PosixFileSystem::FileLength(const std::string& path) {
  // A walk asks for file after file of one folder: the folder is taken from the cache, and the
  // file's own device tells whether its path still leads there; otherwise it is looked up anew.
  Resolved r = Resolve(path, Lookup::Unchecked, true);
  struct stat st;
  bool found =
      r.trusted && r.complete() && stat(r.Host().c_str(), &st) == 0 && st.st_dev == r.folderDev;
  if (!found) {
    r = Resolve(path);
    if (!r.complete()) return Status::Error(std::strerror(ENOENT));
    if (stat(r.Host().c_str(), &st) != 0) return ErrnoStatus();
  }
  if (!S_ISREG(st.st_mode)) return Status::Error("not a file");
  return static_cast<uint64_t>(st.st_size);
}

}  // namespace qv
