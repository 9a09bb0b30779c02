#include "platform/linux/PosixJunkScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linux/PosixFileUtil.h"

#ifndef OVERLAYFS_SUPER_MAGIC
#define OVERLAYFS_SUPER_MAGIC 0x794c7630
#endif

namespace qv {
namespace {

// ".Trash" or ".Trash-<uid>": the recycle bins a drive keeps at its top.
bool IsTopTrashName(const char* name) {
  if (std::strcmp(name, ".Trash") == 0) return true;
  if (std::strncmp(name, ".Trash-", 7) != 0 || !name[7]) return false;
  for (const char* c = name + 7; *c; ++c)
    if (!std::isdigit(static_cast<unsigned char>(*c))) return false;
  return true;
}

bool IsSpecialNode(mode_t mode) {
  return S_ISSOCK(mode) || S_ISFIFO(mode) || S_ISCHR(mode) || S_ISBLK(mode);
}

// In a folder that users share (sticky and writable by more than its owner, as /tmp), only the
// running user's own entries are theirs to clear away; root included.
bool IsShared(const struct stat& folder) {
  return (folder.st_mode & S_ISVTX) && (folder.st_mode & (S_IWGRP | S_IWOTH));
}

bool OthersInSharedFolder(const struct stat& folder, const struct stat& entry) {
  return IsShared(folder) && entry.st_uid != geteuid();
}

bool IsSpecialType(unsigned char type) {
  return type == DT_SOCK || type == DT_FIFO || type == DT_CHR || type == DT_BLK;
}

// A folder's listing; it owns the descriptor it is made from.
class Dir {
 public:
  explicit Dir(UniqueFd fd) : dir_(fd ? fdopendir(fd.get()) : nullptr) {
    if (dir_) fd.release();
  }
  ~Dir() {
    if (dir_) closedir(dir_);
  }
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;
  explicit operator bool() const { return dir_ != nullptr; }
  int fd() const { return dirfd(dir_); }
  dirent* Next() { return readdir(dir_); }

 private:
  DIR* dir_;
};

}  // namespace

PosixJunkScan::PosixJunkScan(const PosixFileSystem& files, Options options)
    : files_(files), drives_(files.Table()), options_(std::move(options)) {}

bool PosixJunkScan::GatherInUse(const std::function<bool()>& keepGoing) {
  const bool complete = qv::GatherInUse(options_.procRoot, &inUse_, keepGoing);
  recycleBins_.clear();
  std::vector<std::string> bins{JoinHost(g_get_user_data_dir(), "Trash")};
  for (const DriveMapping& d : files_.Drives()) bins.push_back(d.hostFolder);
  for (const std::string& bin : bins) {
    struct stat st;
    if (bin.empty() || lstat(bin.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
    if (&bin == &bins.front()) {
      recycleBins_.push_back({st.st_dev, st.st_ino});
      continue;
    }
    Dir top(UniqueFd(open(bin.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
    while (top) {
      dirent* e = top.Next();
      if (!e) break;
      struct stat trash;
      if (IsTopTrashName(e->d_name) &&
          fstatat(top.fd(), e->d_name, &trash, AT_SYMLINK_NOFOLLOW) == 0)
        recycleBins_.push_back({trash.st_dev, trash.st_ino});
    }
  }
  inUseKnown_ = complete;
  return complete;
}

bool PosixJunkScan::IsRecycleBin(dev_t dev, ino_t ino) const {
  return std::any_of(recycleBins_.begin(), recycleBins_.end(),
                     [&](const Id& b) { return b.dev == dev && b.ino == ino; });
}

UniqueFd PosixJunkScan::OpenNoFollow(const std::string& dosPath, bool parentOnly, Drive* drive,
                                     std::string* leaf) {
  std::optional<DosPath> path = SplitDosPath(dosPath);
  if (!path) return UniqueFd();
  drive->mapping = drives_.Find(path->letter);
  if (!drive->mapping) return UniqueFd();
  const DriveTable::RootId root = drives_.RootIdOf(*drive->mapping);
  if (root.dev == 0) return UniqueFd();
  drive->dev = root.dev;
  std::vector<std::string>& parts = path->names;
  if (parentOnly) {
    if (parts.empty()) return UniqueFd();
    *leaf = parts.back();
    parts.pop_back();
  }
  UniqueFd fd(open(drive->mapping->hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st;
  if (!fd || fstat(fd.get(), &st) != 0 || st.st_dev != root.dev || st.st_ino != root.ino)
    return UniqueFd();
  for (const std::string& name : parts) {
    // O_NOFOLLOW with O_DIRECTORY refuses a link where a folder stood.
    UniqueFd next(openat(fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) {
      const int error = errno;  // why, for Gone
      fd.reset();
      errno = error;
      return UniqueFd();
    }
    fd = std::move(next);
    if (fstat(fd.get(), &st) != 0 || st.st_dev != drive->dev ||
        drives_.IsOtherDriveRoot(drive->mapping, st.st_dev, st.st_ino))
      return UniqueFd();
  }
  return fd;
}

Result<std::vector<JunkScanEntry>> PosixJunkScan::List(const std::string& folder) {
  Drive drive;
  std::string unused;
  errno = 0;
  Dir dir(OpenNoFollow(folder, false, &drive, &unused));
  if (!dir) return Status::Error(errno ? std::strerror(errno) : "no folder of a drive");
  std::vector<JunkScanEntry> entries;
  struct statfs sfs;
  // On an overlay the listing's inode numbers need not be the ones stat gives.
  const bool overlay = fstatfs(dir.fd(), &sfs) != 0 || sfs.f_type == OVERLAYFS_SUPER_MAGIC;
  struct stat self;
  // A folder whose mode cannot be read is taken for a shared one.
  const bool shared = fstat(dir.fd(), &self) != 0 || IsShared(self);
  const bool statAll = overlay || shared;
  while (dirent* e = dir.Next()) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    JunkScanEntry entry;
    unsigned char type = e->d_type;
    const bool regular = type == DT_REG || type == DT_LNK;
    if (IsSpecialType(type)) {
      entry.kept = true;
    } else if (!regular || statAll || inUse_.MayHold(e->d_ino)) {
      struct stat st;
      if (fstatat(dir.fd(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
      if (S_ISDIR(st.st_mode)) {
        // Another file system's mount point is no part of this drive.
        if (st.st_dev != drive.dev || drives_.IsOtherDriveRoot(drive.mapping, st.st_dev, st.st_ino))
          continue;
        entry.isFolder = true;
        entry.recycleBin = IsRecycleBin(st.st_dev, st.st_ino);
      }
      entry.kept = IsSpecialNode(st.st_mode) || inUse_.Holds(st.st_dev, st.st_ino);
      entry.othersOwn = shared && st.st_uid != geteuid();
    }
    // In the DOS form, as the file system lists it: "\\" and a dot or blank at the end mapped.
    entry.name = MapHostName(name);
    entries.push_back(std::move(entry));
  }
  return entries;
}

bool PosixJunkScan::HoldsKept(int folderFd, dev_t dev, const std::function<bool()>& keepGoing,
                              unsigned* visited) {
  Dir dir(UniqueFd(dup(folderFd)));
  if (!dir) return true;  // what cannot be looked into cannot be known to be free
  // A folder of one's own that others share holds what is theirs: it goes with none of it.
  struct stat self;
  const bool shared = fstat(dir.fd(), &self) != 0 || IsShared(self);
  while (dirent* e = dir.Next()) {
    const char* name = e->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (++*visited % 256 == 0 && keepGoing && !keepGoing()) return true;
    if (IsSpecialType(e->d_type)) return true;
    const bool regular = e->d_type == DT_REG || e->d_type == DT_LNK;
    if (regular && !shared && !inUse_.MayHold(e->d_ino)) continue;
    struct stat st;
    if (fstatat(dir.fd(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (IsSpecialNode(st.st_mode) || inUse_.Holds(st.st_dev, st.st_ino)) return true;
    if (shared && st.st_uid != geteuid()) return true;
    if (!S_ISDIR(st.st_mode)) continue;
    if (st.st_dev != dev || IsRecycleBin(st.st_dev, st.st_ino)) return true;
    const UniqueFd sub(openat(dir.fd(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!sub || HoldsKept(sub.get(), dev, keepGoing, visited)) return true;
  }
  return false;
}

std::optional<JunkItem> PosixJunkScan::Examine(const std::string& path,
                                               const std::function<bool()>& keepGoing) {
  Drive drive;
  std::string leaf;
  std::string dosPath = path;
  while (dosPath.size() > 3 && dosPath.back() == '\\') dosPath.pop_back();
  // A gathering cut short may have missed what holds this entry.
  if (!inUseKnown_) return std::nullopt;
  const UniqueFd parent = OpenNoFollow(dosPath, true, &drive, &leaf);
  if (!parent) return std::nullopt;
  struct stat st, folder;
  bool free = fstatat(parent.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
              !IsSpecialNode(st.st_mode) && !inUse_.Holds(st.st_dev, st.st_ino) &&
              fstat(parent.get(), &folder) == 0 && !OthersInSharedFolder(folder, st);
  if (free && S_ISDIR(st.st_mode)) {
    free = st.st_dev == drive.dev && !IsRecycleBin(st.st_dev, st.st_ino) &&
           !drives_.IsOtherDriveRoot(drive.mapping, st.st_dev, st.st_ino);
    const UniqueFd sub(
        free ? openat(parent.get(), leaf.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
             : -1);
    struct stat opened;
    // The folder opened must be the one just looked at.
    free = sub && fstat(sub.get(), &opened) == 0 && opened.st_ino == st.st_ino &&
           opened.st_dev == st.st_dev;
    unsigned visited = 0;
    if (free) free = !HoldsKept(sub.get(), st.st_dev, keepGoing, &visited);
  }
  if (!free) return std::nullopt;
  JunkItem item;
  item.id.device = static_cast<uint64_t>(st.st_dev);
  item.id.inode = static_cast<uint64_t>(st.st_ino);
  item.id.isFolder = S_ISDIR(st.st_mode);
  item.bytes = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  return item;
}

bool PosixJunkScan::Recheck(const std::string& path, const JunkIdentity& id,
                            const std::function<bool()>& keepGoing) {
  const std::optional<JunkItem> now = Examine(path, keepGoing);
  return now && now->id.device == id.device && now->id.inode == id.inode &&
         now->id.isFolder == id.isFolder;
}

bool PosixJunkScan::Gone(const std::string& path) {
  Drive drive;
  std::string leaf;
  std::string dosPath = path;
  while (dosPath.size() > 3 && dosPath.back() == '\\') dosPath.pop_back();
  errno = 0;
  const UniqueFd parent = OpenNoFollow(dosPath, true, &drive, &leaf);
  if (!parent) return errno == ENOENT;
  struct stat st;
  return fstatat(parent.get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
}

std::string PosixJunkScan::SpecialFolder(const std::string& which) const {
  std::string host;
  if (which == "windows temp") {
    host = options_.systemTemp ? *options_.systemTemp : g_get_tmp_dir();
  } else if (which == "user temp") {
    // Not GLib's: it passes a relative $XDG_CACHE_HOME on, which names no cache folder.
    host = options_.userCache ? *options_.userCache : XdgFolder("XDG_CACHE_HOME", ".cache");
  }
  if (host.empty() || host[0] != '/') return "";
  std::string dos = files_.DosPathForHost(host);
  if (!dos.empty() && dos.back() != '\\') dos += '\\';
  // Everything directly inside is junk: a $TMPDIR set to a drive's root, or to the home folder
  // or above it, would clear away the user's own files.
  const char* const homeVariable = std::getenv("HOME");  // as GLib takes it, but not cached
  std::string home =
      files_.DosPathForHost(homeVariable && *homeVariable ? homeVariable : g_get_home_dir());
  if (!home.empty() && home.back() != '\\') home += '\\';
  if (dos.size() <= 3 || home.compare(0, dos.size(), dos) == 0) return "";
  return dos;
}

}  // namespace qv
