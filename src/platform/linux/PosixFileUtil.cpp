#include "platform/linux/PosixFileUtil.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace qv {

Status ErrnoStatus(int error) {
  return Status::Error(std::strerror(error));
}

Status ErrnoStatus() {
  return ErrnoStatus(errno);
}

std::string JoinHost(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string XdgFolder(const char* variable, const char* fallbackBelowHome) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return value;
  std::string home;
  if (const char* h = std::getenv("HOME"); h && h[0] == '/') {
    home = h;
  } else if (struct passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
    home = pw->pw_dir;
  }
  return home.empty() ? "" : JoinHost(home, fallbackBelowHome);
}

std::string FolderOf(const std::string& file) {
  const size_t slash = file.rfind('/');
  return slash == std::string::npos ? "" : slash == 0 ? "/" : file.substr(0, slash);
}

bool IsPrivateFolder(const std::string& folder) {
  struct stat st;
  return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

namespace {

// A folder above the private one: the user's or root's, and no other user may change it. With
// a group of one's own (umask 002) the group may write.
bool IsSafeAncestor(const std::string& folder) {
  struct stat st;
  return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         (st.st_uid == geteuid() || st.st_uid == 0) && (st.st_mode & S_IWOTH) == 0 &&
         ((st.st_mode & S_IWGRP) == 0 || (st.st_uid == geteuid() && st.st_gid == getegid()));
}

bool MakePrivateFolderAt(const std::string& folder, int depth) {
  if (depth == 0 ? IsPrivateFolder(folder) : IsSafeAncestor(folder)) return true;
  struct stat st;
  if (folder.empty() || depth > 8 || lstat(folder.c_str(), &st) == 0) return false;
  return MakePrivateFolderAt(FolderOf(folder), depth + 1) &&
         (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) && IsPrivateFolder(folder);
}

}  // namespace

bool MakePrivateFolder(const std::string& folder) {
  return MakePrivateFolderAt(folder, 0);
}

Status WriteFileAside(const std::string& file, const std::string& text, Publish publish) {
  std::string temporary = file + ".XXXXXX";
  UniqueFd fd(mkstemp(temporary.data()));
  if (!fd) return ErrnoStatus();
  int error = 0;
  for (size_t written = 0; error == 0 && written < text.size();) {
    const ssize_t n = write(fd.get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) error = n < 0 ? errno : EIO;
    if (n > 0) written += static_cast<size_t>(n);
  }
  if (!fd.Close() && error == 0) error = errno ? errno : EIO;
  // A link never replaces what is there: a file made meanwhile by another start stays.
  if (error == 0 && publish == Publish::KeepExisting && link(temporary.c_str(), file.c_str()) != 0)
    error = errno;
  if (error == 0 && publish == Publish::Replace && rename(temporary.c_str(), file.c_str()) != 0)
    error = errno;
  if (error != 0 || publish == Publish::KeepExisting) unlink(temporary.c_str());
  return error == 0 ? Status::Ok() : ErrnoStatus(error);
}

UniqueFd OpenRegularForReading(const std::string& hostPath, struct stat* st) {
  UniqueFd fd(open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) return fd;
  struct stat own;
  if (!st) st = &own;
  if (fstat(fd.get(), st) != 0 || !S_ISREG(st->st_mode)) fd.reset();
  return fd;
}

bool StopNonBlocking(int fd, int error) {
  if (error != EAGAIN && error != EWOULDBLOCK) return false;
  int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_NONBLOCK) && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace qv
