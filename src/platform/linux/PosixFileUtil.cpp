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
