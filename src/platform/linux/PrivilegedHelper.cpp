#include "platform/linux/PrivilegedHelper.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/linux/PosixFileSystem.h"

namespace qv {

std::string HelperProgramPath() {
  const std::string folder = PosixFileSystem::RunningExecutableFolder();
  if (folder.empty()) return "";
  const std::string base = folder == "/" ? "" : folder;
  for (const std::string& candidate :
       {base + "/quorvin-helper", base + "/../libexec/quorvin/quorvin-helper"}) {
    // Canonical: pkexec picks the polkit action by the program's exact path.
    char real[PATH_MAX];
    if (access(candidate.c_str(), X_OK) == 0 && realpath(candidate.c_str(), real)) return real;
  }
  return "";
}

std::vector<std::string> HelperCommand(const std::string& helper, const std::string& job,
                                       const std::vector<std::string>& args) {
  std::vector<std::string> command;
  // Never a password prompt on a terminal behind the full-screen window: the desktop's agent
  // asks, or no one does.
  if (geteuid() != 0) command = {"pkexec", "--disable-internal-agent"};
  command.push_back(helper);
  command.push_back(job);
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

void PrepareHelperProcess() {
  umask(022);
  // A closed standard descriptor would be taken by the next file opened, and written over.
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDWR);
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::pair<std::string, std::string>> keep;
  for (char** e = environ; e && *e; ++e) {
    const std::string entry = *e;
    const size_t eq = entry.find('=');
    if (eq == std::string::npos) continue;
    const std::string name = entry.substr(0, eq);
    if (name == "LANG" || name == "LANGUAGE" || name.compare(0, 3, "LC_") == 0)
      keep.emplace_back(name, entry.substr(eq + 1));
  }
  clearenv();
  for (const auto& [name, value] : keep) setenv(name.c_str(), value.c_str(), 1);
  setenv("PATH", "/usr/sbin:/usr/bin:/sbin:/bin", 1);
  if (chdir("/") != 0) {
  }
}

namespace {
bool outputGone = false;
}  // namespace

void HelperWrite(const HelperReport& report) {
  if (outputGone) return;
  const std::string line = HelperLine(report);
  for (size_t done = 0; done < line.size();) {
    const ssize_t n = write(STDOUT_FILENO, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      outputGone = true;
      return;
    }
    done += static_cast<size_t>(n);
  }
}

bool HelperStopAsked() {
  static const bool watched = [] {
    struct stat st;
    return fstat(STDIN_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
  }();
  static bool asked = false;
  if (!watched || asked) return asked;
  pollfd in{STDIN_FILENO, POLLIN, 0};
  asked = poll(&in, 1, 0) > 0 && (in.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
  return asked;
}

Result<char> HelperDriveOf(const DriveTable& table, const std::string& target) {
  if (target.empty() || target[0] != '/')
    return Status::Error("\"" + target + "\" is not an absolute path.");
  // Written exactly as the path is: no link on the way, no "..", no doubled separator.
  char real[PATH_MAX];
  if (!realpath(target.c_str(), real))
    return Status::Error(target + " cannot be found: " + std::strerror(errno) + ".");
  if (target != real) return Status::Error(target + " is not a plain path without links.");
  struct stat st;
  if (lstat(target.c_str(), &st) != 0)
    return Status::Error(target + " cannot be found: " + std::strerror(errno) + ".");
  if (S_ISDIR(st.st_mode)) {
    for (const DriveMapping& d : table.Drives()) {
      if (d.hostFolder != target) continue;
      const DriveTable::Mounted m = table.MountOf(d);
      if (m.mount && m.mount->mountPoint == target) return d.letter;
    }
    return Status::Error(target + " is not the folder of a mounted drive.");
  }
  if (S_ISBLK(st.st_mode)) {
    for (const DriveMapping& d : table.Drives()) {
      // What is mounted there now, whatever device the table was made with.
      const DriveTable::Mounted m = table.MountOf(d);
      if (m.mount && makedev(m.mount->major, m.mount->minor) == st.st_rdev) return d.letter;
    }
    return Status::Error(target + " is not the device of a mounted drive.");
  }
  return Status::Error(target + " is neither a drive's folder nor a device.");
}

}  // namespace qv
