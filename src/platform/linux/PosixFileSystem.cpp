#include "platform/linux/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "platform/linux/PosixFileUtil.h"

namespace qv {

namespace {}  // namespace

PosixFileSystem::PosixFileSystem(std::vector<DriveMapping> drives, std::string exeHostFolder,
                                 Options options)
    : table_(std::move(drives)),
      options_(std::move(options)),
      linkThroughProc_(options_.linkThroughProc),
      paths_(table_, options_.listed) {
  if (options_.copyChunkBytes == 0) options_.copyChunkBytes = 1;
  exeHostFolder_ = CanonicalHostPath(exeHostFolder);
}

std::unique_ptr<PosixFileSystem> PosixFileSystem::FromMounts(const std::string& exeHostFolder,
                                                             Options options) {
  return std::make_unique<PosixFileSystem>(DriveTable::FromMounts(), exeHostFolder,
                                           std::move(options));
}

std::string PosixFileSystem::RunningExecutableFolder() {
  char* exe = realpath("/proc/self/exe", nullptr);
  if (!exe) return "";
  std::string path = exe;
  free(exe);
  size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
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

std::string PosixFileSystem::SettingsFile() const {
  const std::string& host = options_.places.settingsFile;
  return host.empty() ? FileSystem::SettingsFile() : DosPathForHost(host);
}

std::string PosixFileSystem::SkinFolder() const {
  const std::string& host = options_.places.skinFolder;
  return host.empty() ? FileSystem::SkinFolder() : DosPathForHost(host);
}

std::string PosixFileSystem::ToolsFolder() const {
  const std::string& host = options_.places.toolsFolder;
  return host.empty() ? FileSystem::ToolsFolder() : DosPathForHost(host);
}

std::vector<std::string> PosixFileSystem::LogicalDrives() const {
  std::vector<std::string> roots;
  for (const DriveMapping& d : table_.Drives()) roots.push_back(std::string(1, d.letter) + ":\\");
  return roots;
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
      if (paths_.IsForeignFolder(folderStat.st_dev, st.st_dev, st.st_ino, r.drive)) continue;
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
