#include "platform/linux/CheckMountBack.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace qv {
namespace {

int OpenNoSymlinks(const std::string& path, int flags) {
  open_how how{};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.resolve = RESOLVE_NO_SYMLINKS;
  return static_cast<int>(syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how));
}

// One byte on the guardian's socket, with room for one descriptor beside it.
struct FdMessage {
  char tag = 0;
  iovec io{&tag, 1};
  alignas(cmsghdr) char space[CMSG_SPACE(sizeof(int))] = {};
  msghdr msg{};
  FdMessage() {
    msg.msg_iov = &io;
    msg.msg_iovlen = 1;
    msg.msg_control = space;
    msg.msg_controllen = sizeof space;
  }
  FdMessage(const FdMessage&) = delete;
  FdMessage& operator=(const FdMessage&) = delete;
};

}  // namespace

MountBackPlan PlanMountBack(const CheckTarget& t) {
  MountBackPlan plan;
  plan.source = t.source;
  plan.fsType = t.fsType;
  plan.mountPoint = t.mountPoint;
  static const struct {
    const char* name;
    uint64_t attribute;
  } kAttributes[] = {{"ro", MOUNT_ATTR_RDONLY},
                     {"nosuid", MOUNT_ATTR_NOSUID},
                     {"nodev", MOUNT_ATTR_NODEV},
                     {"noexec", MOUNT_ATTR_NOEXEC},
                     {"noatime", MOUNT_ATTR_NOATIME},
                     {"strictatime", MOUNT_ATTR_STRICTATIME},
                     {"nodiratime", MOUNT_ATTR_NODIRATIME},
                     {"nosymfollow", MOUNT_ATTR_NOSYMFOLLOW}};
  std::istringstream mountOptions(t.mountOptions);
  std::string option;
  while (std::getline(mountOptions, option, ','))
    for (const auto& a : kAttributes)
      if (option == a.name) plan.attributes |= a.attribute;
  std::istringstream superOptions(t.superOptions);
  while (std::getline(superOptions, option, ',')) {
    // "seclabel" only shows that a security module labels the files; it is no option.
    if (option.empty() || option == "rw" || option == "seclabel") continue;
    const size_t eq = option.find('=');
    if (eq == std::string::npos)
      plan.params.emplace_back(option, "");
    else
      plan.params.emplace_back(option.substr(0, eq), option.substr(eq + 1));
  }
  for (const std::string& p : t.propagation) {
    if (p.compare(0, 7, "shared:") == 0) plan.propagation = MS_SHARED;
    if (p == "unbindable") plan.propagation = MS_UNBINDABLE;
  }
  if (plan.propagation == 0) plan.propagation = MS_PRIVATE;
  struct stat st;
  if (stat(plan.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) plan.rdev = st.st_rdev;
  return plan;
}

int MountBack(const MountBackPlan& plan, int pin, int* sharing) {
  *sharing = 0;
  struct stat source, pinned, now;
  if (stat(plan.source.c_str(), &source) != 0 || !S_ISBLK(source.st_mode) ||
      source.st_rdev != plan.rdev)
    return ENXIO;
  if (fstat(pin, &pinned) != 0) return errno;
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS;
  UniqueFd at(
      static_cast<int>(syscall(SYS_openat2, AT_FDCWD, plan.mountPoint.c_str(), &how, sizeof how)));
  if (!at) return ESTALE;
  const bool same =
      fstat(at.get(), &now) == 0 && now.st_dev == pinned.st_dev && now.st_ino == pinned.st_ino;
  at.reset();
  if (!same) return ESTALE;
  if (plan.hook) {
    char target[32];
    std::snprintf(target, sizeof target, "/proc/self/fd/%d", pin);
    return (*plan.hook)(plan.source, target, plan.fsType, 0, "") == 0 ? 0 : errno;
  }
  const UniqueFd context(fsopen(plan.fsType.c_str(), FSOPEN_CLOEXEC));
  if (!context) return errno;
  const int c = context.get();
  int error = 0;
  if (fsconfig(c, FSCONFIG_SET_STRING, "source", plan.source.c_str(), 0) != 0) error = errno;
  for (const auto& [key, value] : plan.params)
    if (!error && fsconfig(c, value.empty() ? FSCONFIG_SET_FLAG : FSCONFIG_SET_STRING, key.c_str(),
                           value.empty() ? nullptr : value.c_str(), 0) != 0)
      error = errno;
  if (!error && fsconfig(c, FSCONFIG_CMD_CREATE, nullptr, nullptr, 0) != 0) error = errno;
  const UniqueFd mount(error ? -1
                             : fsmount(c, FSMOUNT_CLOEXEC, static_cast<unsigned>(plan.attributes)));
  if (!error && !mount) error = errno;
  if (error) return error;
  if (move_mount(mount.get(), "", pin, "", MOVE_MOUNT_F_EMPTY_PATH | MOVE_MOUNT_T_EMPTY_PATH) != 0)
    return errno;
  mount_attr attr{};
  attr.propagation = plan.propagation;
  if (mount_setattr(mount.get(), "", AT_EMPTY_PATH, &attr, sizeof attr) != 0) *sharing = errno;
  return 0;
}

bool Guardian::Start(const MountBackPlan& plan, int hold) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return false;
  UniqueFd own(ends[0]), theirs(ends[1]);
  const pid_t child = fork();
  if (child == 0) Run(plan, theirs.get(), hold);
  if (child < 0) return false;
  pid_ = child;
  socket_ = std::move(own);
  return true;
}

void Guardian::SendPin(int pin) {
  FdMessage m;
  m.tag = 'P';
  cmsghdr* c = CMSG_FIRSTHDR(&m.msg);
  c->cmsg_level = SOL_SOCKET;
  c->cmsg_type = SCM_RIGHTS;
  c->cmsg_len = CMSG_LEN(sizeof(int));
  std::memcpy(CMSG_DATA(c), &pin, sizeof pin);
  while (sendmsg(socket_.get(), &m.msg, MSG_NOSIGNAL) < 0 && errno == EINTR) {
  }
}

void Guardian::Release() {
  if (pid_ <= 0) return;
  const char tag = 'D';
  while (send(socket_.get(), &tag, 1, MSG_NOSIGNAL) < 0 && errno == EINTR) {
  }
  socket_.reset();
  while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

void Guardian::Run(const MountBackPlan& plan, int socket, int hold) {
  // Only async-signal-safe calls from here on. A session of its own: a Ctrl-C or a hang-up
  // that ends the program must not end the guardian.
  setsid();
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ignore, nullptr);
  sigaction(SIGHUP, &ignore, nullptr);
  sigaction(SIGPIPE, &ignore, nullptr);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  const UniqueFd null(open("/dev/null", O_RDWR | O_CLOEXEC));
  if (null)
    for (int fd = 0; fd < 3; ++fd)
      if (fd != socket && fd != hold) dup2(null.get(), fd);
  // Nothing else of the program's stays open (its window, its output pipes).
  int keep[] = {socket, hold, 2};
  std::sort(std::begin(keep), std::end(keep));
  unsigned from = 3;
  for (int fd : keep) {
    if (fd < static_cast<int>(from)) continue;
    if (static_cast<unsigned>(fd) > from) close_range(from, static_cast<unsigned>(fd) - 1, 0);
    from = static_cast<unsigned>(fd) + 1;
  }
  close_range(from, ~0U, 0);
  int pin = -1;
  for (;;) {
    FdMessage m;
    const ssize_t got = recvmsg(socket, &m.msg, MSG_CMSG_CLOEXEC);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // the program has ended
    if (m.tag == 'D') _exit(0);
    cmsghdr* c = CMSG_FIRSTHDR(&m.msg);
    if (m.tag == 'P' && c && c->cmsg_type == SCM_RIGHTS)
      std::memcpy(&pin, CMSG_DATA(c), sizeof pin);
  }
  if (pin < 0) _exit(0);
  // The checker ends with the program (it gets SIGTERM and stops cleanly); until then it
  // holds the device and the mount fails with EBUSY.
  for (;;) {
    int sharing;
    const int error = MountBack(plan, pin, &sharing);
    if (error != EBUSY) _exit(error == 0 ? 0 : 1);
    const timespec pause{0, 100 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
}

DriveRemount::DriveRemount(Diagnostics& diag, std::string drive)
    : diag_(diag), drive_(std::move(drive)) {}

DriveRemount::~DriveRemount() {
  Now();
}

std::string DriveRemount::Unmount(const CheckTarget& target, int hold, const MountHook* hook,
                                  const UnmountHook& unmount) {
  plan_ = PlanMountBack(target);
  plan_.hook = hook;
  // Pinned before the unmount: the folder above the mount point, reached from the mount
  // itself (".." of a mount's root is the folder that holds the mount point).
  UniqueFd mounted(OpenNoSymlinks(target.mountPoint, O_PATH | O_DIRECTORY));
  struct statx sx {};
  UniqueFd parent;
  if (mounted && statx(mounted.get(), "", AT_EMPTY_PATH, STATX_MNT_ID, &sx) == 0 &&
      (sx.stx_mask & STATX_MNT_ID) && sx.stx_mnt_id == static_cast<uint64_t>(target.mountId))
    parent.reset(openat(mounted.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
  const std::string name = target.mountPoint.substr(target.mountPoint.rfind('/') + 1);
  mounted.reset();  // an open descriptor keeps the mount busy
  if (!parent) return "its mount changed while the check began";
  if (!guardian_.Start(plan_, hold)) return "the drive could not be guarded while it is unmounted";
  if (unmount(target.mountPoint) != 0) {
    const int e = errno;
    guardian_.Release();
    return e == EPERM || e == EACCES ? "the check needs administrator rights" : "it is in use";
  }
  // A mount point cannot be renamed or removed while it is one: right after the unmount the
  // name still leads to the folder the drive was mounted on.
  pin_.reset(openat(parent.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC));
  if (pin_) guardian_.SendPin(pin_.get());
  pending_ = true;
  return {};
}

void DriveRemount::Now() {
  if (!pending_) return;
  pending_ = false;
  int sharing = 0;
  const int error = pin_ ? MountBack(plan_, pin_.get(), &sharing) : ENOENT;
  guardian_.Release();
  const std::string& at = plan_.mountPoint;
  if (error == ESTALE)
    failure_ = "The drive was not mounted again: " + at +
               " no longer leads to the folder it was mounted on.";
  else if (error == ENXIO)
    failure_ = "The drive was not mounted again: " + plan_.source + " is no longer its device.";
  else if (error == ENOENT && !pin_)
    failure_ = "The drive was not mounted again: its folder " + at + " is gone.";
  else if (error)
    failure_ = "The drive could not be mounted again at " + at + ": " + std::strerror(error) + ".";
  else if (sharing)
    failure_ =
        "The drive was mounted again at " + at +
        ", but its sharing with other mounts could not be restored: " + std::strerror(sharing) +
        ".";
  if (!failure_.empty())
    diag_.Warn("disk check of " + drive_ + " (" + plan_.source + "): " + failure_);
}

}  // namespace qv
