// The helper's "defragment" job: e4defrag, as root, on one file named by whoever started the
// helper. Nothing of the name is trusted: it is walked one folder at a time without following a
// link, must end in a regular file on a drive of the mount table, and e4defrag is given the name
// inside the folder held open here, checked again just before.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/linux/ChildProcess.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/PrivilegedHelper.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

namespace {

// A name as it may be written to a terminal: control characters become "?".
std::string Printable(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return out;
}

int Refuse(const std::string& why, const std::string& path) {
  std::fprintf(stderr, "quorvin-helper: defragment: %s: %s\n", why.c_str(),
               Printable(path).c_str());
  return kHelperRefused;
}

// The file, reached from "/" through no link: its folder held open, its name there, its identity.
struct Target {
  UniqueFd folder;
  std::string name;
  struct stat st {};
};

// Empty `why` on success.
Target Walk(const std::string& path, std::string* why) {
  Target t;
  std::vector<std::string> names;
  for (size_t i = 1; i <= path.size();) {
    const size_t end = std::min(path.find('/', i), path.size());
    names.push_back(path.substr(i, end - i));
    i = end + 1;
  }
  // Only the path's own spelling: ".." could leave a folder checked for one left unchecked.
  for (const std::string& n : names)
    if (n.empty() || n == "." || n == "..") {
      *why = "not a plain absolute path";
      return t;
    }
  t.folder.reset(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (size_t k = 0; t.folder && k < names.size(); ++k) {
    struct stat st;
    if (fstatat(t.folder.get(), names[k].c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      *why = std::strerror(errno);
      return t;
    }
    if (S_ISLNK(st.st_mode)) {
      *why = "the path passes through a link";
      return t;
    }
    if (k + 1 == names.size()) {
      t.name = names[k];
      t.st = st;
      return t;
    }
    if (!S_ISDIR(st.st_mode)) {
      *why = std::strerror(ENOTDIR);
      return t;
    }
    // O_NOFOLLOW: a folder swapped for a link since the look above is not entered.
    t.folder.reset(
        openat(t.folder.get(), names[k].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!t.folder) *why = std::strerror(errno);
  return t;
}

const char* E4defrag() {
  for (const char* p : {"/usr/sbin/e4defrag", "/sbin/e4defrag"})
    if (access(p, X_OK) == 0) return p;
  return "e4defrag";
}

}  // namespace

int DefragmentJob(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "quorvin-helper: defragment takes one absolute file path\n");
    return kHelperRefused;
  }
  const std::string& path = args[0];
  if (path.empty() || path[0] != '/') return Refuse("not an absolute path", path);
  std::string why;
  Target t = Walk(path, &why);
  if (!why.empty()) return Refuse(why, path);
  // e4defrag takes a device for its whole file system, and a FIFO would block it.
  if (!S_ISREG(t.st.st_mode)) return Refuse("not a regular file", path);

  const DriveTable drives(DriveTable::FromMounts());
  const DriveMapping* drive = drives.ForPath(drives.DosPathForHost(path));
  if (!drive || drives.RootIdOf(*drive).dev != t.st.st_dev) return Refuse("not on a drive", path);

  // Run from inside the folder held open: the folders above may change now, and the name is
  // looked at once more just before e4defrag takes it.
  const UniqueFd out(open("/dev/null", O_WRONLY | O_CLOEXEC));
  const UniqueFd in(open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!out || !in) return kHelperJobFailed;
  ChildOptions o;
  o.descriptors = {{0, in.get()}, {1, out.get()}, {2, STDERR_FILENO}};
  o.workingFolder = t.folder.get();
  o.defaultSignals = {SIGPIPE, SIGINT, SIGTERM};
  struct stat now;
  if (fstatat(t.folder.get(), t.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0 ||
      now.st_dev != t.st.st_dev || now.st_ino != t.st.st_ino || !S_ISREG(now.st_mode))
    return Refuse("changed while it was checked", path);
  ChildProcess child;
  // "./": a name starting with "-" is no option.
  if (Status s = child.Start({E4defrag(), "./" + t.name}, o); !s) {
    std::fprintf(stderr, "quorvin-helper: e4defrag: %s\n", s.message().c_str());
    return kHelperJobFailed;
  }
  const ChildExit e = child.Wait();
  if (e.signaled || e.code != 0) {
    std::fprintf(stderr, "quorvin-helper: e4defrag ended with %s %d: %s\n",
                 e.signaled ? "signal" : "status", e.code, Printable(path).c_str());
    return kHelperJobFailed;
  }
  return 0;
}

}  // namespace qv
