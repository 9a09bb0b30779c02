#include "platform/linux/PosixInUse.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_set>

#include "platform/linux/UniqueFd.h"

namespace qv {

void InUseSet::Add(dev_t dev, ino_t ino) {
  entries_.insert({static_cast<uint64_t>(dev), static_cast<uint64_t>(ino)});
  inodes_.insert(static_cast<uint64_t>(ino));
}

bool InUseSet::Holds(dev_t dev, ino_t ino) const {
  return entries_.count({static_cast<uint64_t>(dev), static_cast<uint64_t>(ino)}) > 0;
}

namespace {

bool IsNumber(const char* name) {
  if (!*name) return false;
  for (; *name; ++name)
    if (*name < '0' || *name > '9') return false;
  return true;
}

void AddStat(InUseSet* set, int dirFd, const char* name) {
  struct stat st;
  if (fstatat(dirFd, name, &st, 0) == 0) set->Add(st.st_dev, st.st_ino);
}

void AddPath(InUseSet* set, const std::string& path) {
  struct stat st;
  if (!path.empty() && path[0] == '/' && stat(path.c_str(), &st) == 0)
    set->Add(st.st_dev, st.st_ino);
}

// Mapped files come with the device and inode the kernel keeps; a file system with anonymous
// devices (btrfs subvolumes) tells another device to stat, so the path is asked too where the
// inode agrees.
void AddMaps(InUseSet* set, int procFd, std::unordered_set<std::string>* pathsSeen) {
  UniqueFd fd(openat(procFd, "maps", O_RDONLY | O_CLOEXEC));
  if (!fd) return;
  FILE* in = fdopen(fd.get(), "r");
  if (!in) return;
  fd.release();  // the stream owns it now
  char* line = nullptr;
  size_t size = 0;
  while (getline(&line, &size, in) > 0) {
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    int pathAt = 0;
    if (std::sscanf(line, "%*s %*s %*s %x:%x %llu %n", &major, &minor, &inode, &pathAt) < 3 ||
        inode == 0)
      continue;
    set->Add(makedev(major, minor), static_cast<ino_t>(inode));
    std::string path = line + pathAt;
    while (!path.empty() && (path.back() == '\n' || path.back() == ' ')) path.pop_back();
    if (path.empty() || path[0] != '/' || !pathsSeen->insert(path).second) continue;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && st.st_ino == inode) set->Add(st.st_dev, st.st_ino);
  }
  free(line);
  fclose(in);
}

void AddUnixSockets(InUseSet* set, const std::string& procRoot) {
  std::ifstream in(procRoot + "/net/unix");
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 7 && fields >> field; ++i) {
    }
    std::string path;
    std::getline(fields >> std::ws, path);
    AddPath(set, path);  // abstract names start with "@" and have no file
  }
}

}  // namespace

bool GatherInUse(const std::string& procRoot, InUseSet* out,
                 const std::function<bool()>& keepGoing) {
  InUseSet& set = *out;
  set = InUseSet();
  std::unordered_set<std::string> mappedPaths;
  DIR* proc = opendir(procRoot.c_str());
  if (!proc) return true;
  const int procDirFd = dirfd(proc);
  while (dirent* e = readdir(proc)) {
    if (!IsNumber(e->d_name)) continue;
    const UniqueFd pid(openat(procDirFd, e->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!pid) continue;  // ended meanwhile
    AddStat(&set, pid.get(), "cwd");
    AddStat(&set, pid.get(), "root");
    UniqueFd fds(openat(pid.get(), "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* fdDir = fds ? fdopendir(fds.get()) : nullptr;
    if (fdDir) {
      const int listed = fds.release();  // the listing owns it now
      while (dirent* f = readdir(fdDir))
        if (IsNumber(f->d_name)) AddStat(&set, listed, f->d_name);
      closedir(fdDir);
    }
    AddMaps(&set, pid.get(), &mappedPaths);
    if (keepGoing && !keepGoing()) {
      closedir(proc);
      return false;
    }
  }
  closedir(proc);
  AddUnixSockets(&set, procRoot);
  return true;
}

}  // namespace qv
