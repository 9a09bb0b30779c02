#include "platform/posix/PosixFileUtil.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

std::string JoinHost(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

int OpenRegularForReading(const std::string& hostPath, struct stat* st) {
  int fd = open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat own;
  if (!st) st = &own;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    close(fd);
    return -1;
  }
  return fd;
}

bool StopNonBlocking(int fd, int error) {
  if (error != EAGAIN && error != EWOULDBLOCK) return false;
  int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_NONBLOCK) && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

}  // namespace qv
