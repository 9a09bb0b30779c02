#include "platform/linux/PosixCheckEngine.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <ext2fs/ext2fs.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/linux/PosixMounts.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

uint32_t ProgressOfPass(int pass, uint64_t current, uint64_t max) {
  static constexpr int kBounds[] = {0, 70, 90, 92, 95, 100};
  if (pass < 1) return 0;
  if (pass > 5) return 100;
  const double share = max == 0 ? 0.0 : static_cast<double>(std::min(current, max)) / max;
  return static_cast<uint32_t>(kBounds[pass - 1] + (kBounds[pass] - kBounds[pass - 1]) * share);
}

bool ParseProgressLine(const std::string& line, uint32_t* percent) {
  int pass = 0;
  unsigned long long current = 0, max = 0;
  if (std::sscanf(line.c_str(), "%d %llu %llu", &pass, &current, &max) != 3) return false;
  *percent = ProgressOfPass(pass, current, max);
  return true;
}

void TerminalLines::Close(std::vector<std::string>* lines) {
  // What overwriting left at the end is blank padding.
  const size_t end = line_.find_last_not_of(' ');
  lines->push_back(end == std::string::npos ? std::string() : line_.substr(0, end + 1));
  line_.clear();
  cursor_ = 0;
}

void TerminalLines::Feed(const char* data, size_t size, std::vector<std::string>* lines) {
  for (size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    switch (escape_) {
      case Escape::Start:
        escape_ = c == '[' ? Escape::Csi : c == ']' || c == 'P' ? Escape::String : Escape::None;
        continue;
      case Escape::Csi:
        if (c >= 0x40 && c <= 0x7E) escape_ = Escape::None;
        continue;
      case Escape::String:  // ends with BEL or ESC backslash
        if (c == 0x07) escape_ = Escape::None;
        if (c == 0x1B) escape_ = Escape::StringEsc;
        continue;
      case Escape::StringEsc:
        escape_ = c == '\\' ? Escape::None : Escape::String;
        continue;
      case Escape::None:
        break;
    }
    if (c == '\n') {
      Close(lines);
    } else if (c == '\r') {
      cursor_ = 0;
    } else if (c == '\b') {
      if (cursor_ > 0) --cursor_;
    } else if (c == 0x1B) {
      escape_ = Escape::Start;
    } else if (c == '\t' || c >= 0x20) {
      if (c == 0x7F) continue;
      const size_t width = c == '\t' ? 8 - cursor_ % 8 : 1;
      for (size_t k = 0; k < width; ++k) {
        const char out = c == '\t' ? ' ' : static_cast<char>(c);
        if (cursor_ < line_.size())
          line_[cursor_] = out;
        else
          line_.push_back(out);
        ++cursor_;
      }
      if (line_.size() >= kMaxLine) Cut(lines);
    }
  }
}

void TerminalLines::Cut(std::vector<std::string>* lines) {
  // Never inside a UTF-8 character: an unfinished one starts the next piece.
  size_t cut = line_.size();
  size_t lead = cut;
  while (lead > 0 && cut - lead < 4 && (static_cast<unsigned char>(line_[lead - 1]) & 0xC0) == 0x80)
    --lead;
  if (lead > 0) {
    const unsigned char c = static_cast<unsigned char>(line_[lead - 1]);
    const size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (length > 1 && cut - (lead - 1) < length) cut = lead - 1;
  }
  if (cut == 0) cut = line_.size();
  std::string rest = line_.substr(cut);
  line_.resize(cut);
  lines->push_back(std::move(line_));
  line_ = std::move(rest);
  cursor_ = line_.size();
}

bool ScanProgress(const std::string& text, uint32_t* percent) {
  // The number that stands next to a "%", on either side and with at most a blank between, as
  // any language writes it ("12.5%", "12,5 %", "%12,5").
  const auto digit = [&](size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  const auto blank = [&](size_t i, bool back) -> size_t {  // bytes of a blank at (or ending at) i
    static const char* const kBlanks[] = {" ", "\xc2\xa0", "\xe2\x80\xaf"};
    for (const char* b : kBlanks) {
      const size_t n = std::strlen(b);
      if (back ? i >= n && text.compare(i - n, n, b) == 0 : text.compare(i, n, b) == 0) return n;
    }
    return 0;
  };
  const auto number = [&](size_t from, size_t to) {
    std::string n = text.substr(from, to - from);
    std::replace(n.begin(), n.end(), ',', '.');
    double value = 0;
    // Read without the user's locale: the dot is the separator here whatever it is there.
    std::istringstream in(n);
    in.imbue(std::locale::classic());
    in >> value;
    return value;
  };
  for (size_t pos = text.find('%'); pos != std::string::npos; pos = text.find('%', pos + 1)) {
    size_t end = pos - blank(pos, true);
    size_t start = end;
    while (start > 0 && (digit(start - 1) || ((text[start - 1] == '.' || text[start - 1] == ',') &&
                                              digit(start) && digit(start - 2))))
      --start;
    if (start == end || !digit(start)) {
      start = pos + 1 + blank(pos + 1, false);
      end = start;
      while (digit(end) ||
             ((text[end] == '.' || text[end] == ',') && digit(end + 1) && end > start))
        ++end;
      if (start == end) continue;
    }
    const double value = number(start, end);
    if (value < 0 || value > 100) continue;
    *percent = static_cast<uint32_t>(value);
    return true;
  }
  return false;
}

std::string TerminalLines::Partial() const {
  return line_;
}

void TerminalLines::Finish(std::vector<std::string>* lines) {
  if (!line_.empty()) Close(lines);
  escape_ = Escape::None;
}

namespace {

using Clock = std::chrono::steady_clock;

bool IsBlock(const std::string& path, dev_t* rdev = nullptr) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
  if (rdev) *rdev = st.st_rdev;
  return true;
}

std::string ReadLine(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The loop devices that serve an image file, as /dev paths.
std::vector<std::string> LoopsOf(const std::string& image) {
  std::vector<std::string> loops;
  struct stat img;
  if (stat(image.c_str(), &img) != 0 || !S_ISREG(img.st_mode)) return loops;
  DIR* dir = opendir("/sys/block");
  if (!dir) return loops;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.compare(0, 4, "loop") != 0) continue;
    const std::string backing = ReadLine("/sys/block/" + name + "/loop/backing_file");
    struct stat st;
    if (!backing.empty() && stat(backing.c_str(), &st) == 0 && st.st_dev == img.st_dev &&
        st.st_ino == img.st_ino)
      loops.push_back("/dev/" + name);
  }
  closedir(dir);
  return loops;
}

// The image file behind a loop device; empty for any other device.
std::string BackingFile(dev_t rdev) {
  return ReadLine("/sys/dev/block/" + std::to_string(major(rdev)) + ":" +
                  std::to_string(minor(rdev)) + "/loop/backing_file");
}

// Whether the device refuses writes (a loop device set up read-only, a locked card); the
// checker could not repair it, so it is not taken from its user to try.
bool ReadOnlyDevice(const std::string& device) {
  const int fd = open(device.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  int readOnly = 0;
  const bool block = fstat(fd, &st) == 0 && S_ISBLK(st.st_mode);
  if (block && ioctl(fd, BLKROGET, &readOnly) != 0) readOnly = 0;
  close(fd);
  if (!block) return access(device.c_str(), W_OK) != 0 && errno == EROFS;
  return readOnly != 0;
}

// A program by name (searched in PATH) or path; empty when it is not there.
std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs =
      path && *path ? path : "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
  // The checkers live in sbin, which a user's PATH may lack.
  dirs += ":/usr/sbin:/sbin";
  std::istringstream in(dirs);
  std::string dir;
  while (std::getline(in, dir, ':')) {
    if (dir.empty()) continue;
    const std::string candidate = dir + "/" + name;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}

std::string Errno(int e) {
  return std::strerror(e);
}

bool NoRight(int e) {
  return e == EPERM || e == EACCES;
}

int OpenNoSymlinks(const std::string& path, int flags) {
  open_how how{};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.resolve = RESOLVE_NO_SYMLINKS;
  return static_cast<int>(syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how));
}

// "ext4" when an ext2/3/4 file system whose first superblock is damaged keeps a backup where
// e2fsck looks for one (and repairs from it); empty otherwise.
std::string BackupSuperblockType(int fd) {
  const std::string name = "/proc/self/fd/" + std::to_string(fd);
  for (unsigned blockSize = 1024; blockSize <= 65536; blockSize *= 2) {
    ext2_filsys fs = nullptr;
    const blk64_t superblock = blockSize * 8 + (blockSize == 1024 ? 1 : 0);
    if (ext2fs_open(name.c_str(), EXT2_FLAG_64BITS | EXT2_FLAG_SKIP_MMP,
                    static_cast<int>(superblock), blockSize, unix_io_manager, &fs) == 0) {
      ext2fs_close_free(&fs);
      return "ext4";
    }
  }
  return {};
}

// The type of the file system on an open device as its own signature says; empty when it has
// none, or more than one.
std::string ProbeType(int fd) {
  blkid_probe probe = blkid_new_probe();
  if (!probe) return {};
  std::string type;
  int found = -1;
  if (blkid_probe_set_device(probe, fd, 0, 0) == 0) {
    blkid_probe_enable_superblocks(probe, 1);
    // A superblock whose checksum is wrong is still the checker's to repair.
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_BADCSUM);
    const char* value = nullptr;
    found = blkid_do_safeprobe(probe);
    if (found == 0 && blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value)
      type = value;
  }
  blkid_free_probe(probe);
  // Nothing at all (not two signatures at once): perhaps only the first superblock is gone.
  if (found == 1) type = BackupSuperblockType(fd);
  return type;
}

// Everything needed to mount a drive back, worked out before it is unmounted: the guardian, a
// forked child of a program that may have threads, uses it without allocating.
struct MountBackPlan {
  std::string source, fsType, mountPoint;
  std::vector<std::pair<std::string, std::string>> params;  // an empty value: a flag
  uint64_t attributes = 0;                                  // MOUNT_ATTR_*
  uint64_t propagation = 0;                                 // MS_SHARED, MS_PRIVATE, ...
  dev_t rdev = 0;                                           // of the source device
  // Only for tests: replaces the mount itself.
  const std::function<int(const std::string&, const std::string&, const std::string&, unsigned long,
                          const std::string&)>* hook = nullptr;
};

MountBackPlan PlanMountBack(const PosixCheckEngine::Target& t) {
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

// Mounts the drive back on the pinned folder, only while its path still leads there and the
// source is still the device. Async-signal-safe (without a hook): the guardian calls it.
// Returns 0 or why not (ESTALE: the path leads elsewhere now; ENXIO: the source changed);
// `*sharing` gets why the propagation could not be restored.
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
  const int at =
      static_cast<int>(syscall(SYS_openat2, AT_FDCWD, plan.mountPoint.c_str(), &how, sizeof how));
  if (at < 0) return ESTALE;
  const bool same =
      fstat(at, &now) == 0 && now.st_dev == pinned.st_dev && now.st_ino == pinned.st_ino;
  close(at);
  if (!same) return ESTALE;
  if (plan.hook) {
    char target[32];
    std::snprintf(target, sizeof target, "/proc/self/fd/%d", pin);
    return (*plan.hook)(plan.source, target, plan.fsType, 0, "") == 0 ? 0 : errno;
  }
  const int context = fsopen(plan.fsType.c_str(), FSOPEN_CLOEXEC);
  if (context < 0) return errno;
  int error = 0;
  if (fsconfig(context, FSCONFIG_SET_STRING, "source", plan.source.c_str(), 0) != 0) error = errno;
  for (const auto& [key, value] : plan.params)
    if (!error && fsconfig(context, value.empty() ? FSCONFIG_SET_FLAG : FSCONFIG_SET_STRING,
                           key.c_str(), value.empty() ? nullptr : value.c_str(), 0) != 0)
      error = errno;
  if (!error && fsconfig(context, FSCONFIG_CMD_CREATE, nullptr, nullptr, 0) != 0) error = errno;
  const int mount =
      error ? -1 : fsmount(context, FSMOUNT_CLOEXEC, static_cast<unsigned>(plan.attributes));
  if (!error && mount < 0) error = errno;
  close(context);
  if (error) return error;
  if (move_mount(mount, "", pin, "", MOVE_MOUNT_F_EMPTY_PATH | MOVE_MOUNT_T_EMPTY_PATH) != 0) {
    error = errno;
    close(mount);
    return error;
  }
  mount_attr attr{};
  attr.propagation = plan.propagation;
  if (mount_setattr(mount, "", AT_EMPTY_PATH, &attr, sizeof attr) != 0) *sharing = errno;
  close(mount);
  return 0;
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

// A child that outlives the program: when the program ends before it has said that the drive
// is back, the guardian waits until the checker has let go of the device and mounts the drive
// back itself. It learns the pinned folder through its socket once the drive is unmounted.
class Guardian {
 public:
  bool Start(const MountBackPlan& plan, int hold) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return false;
    const pid_t child = fork();
    if (child == 0) Run(plan, ends[1], hold);
    close(ends[1]);
    if (child < 0) {
      close(ends[0]);
      return false;
    }
    pid_ = child;
    socket_ = ends[0];
    return true;
  }
  void SendPin(int pin) {
    FdMessage m;
    m.tag = 'P';
    cmsghdr* c = CMSG_FIRSTHDR(&m.msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &pin, sizeof pin);
    while (sendmsg(socket_, &m.msg, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
  }
  // The program has dealt with the drive: the guardian ends.
  void Release() {
    if (pid_ <= 0) return;
    const char tag = 'D';
    while (send(socket_, &tag, 1, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
    close(socket_);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }
  ~Guardian() { Release(); }

 private:
  [[noreturn]] static void Run(const MountBackPlan& plan, int socket, int hold) {
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
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0)
      for (int fd = 0; fd < 3; ++fd)
        if (fd != socket && fd != hold) dup2(null, fd);
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

  pid_t pid_ = -1;
  int socket_ = -1;
};

// One run of a checker after another: the child, its two pipes, and the reports made of them.
class CheckRun {
 public:
  CheckRun(const CheckCallback& callback, int quietReportMs)
      : callback_(callback), quietMs_(quietReportMs) {}
  ~CheckRun() { Abandon(); }

  // Reports a line as the engine's own.
  void Text(const std::string& line) {
    CheckTextOutput record{1, line.c_str()};
    if (!callback_(kCheckTextOutput, 0, &record)) Stop();
  }
  // A checker's line, with the device called by its own name.
  void CheckerText(std::string line) {
    for (size_t at = 0; (at = line.find(kDeviceLink, at)) != std::string::npos;
         at += device_.size())
      line.replace(at, std::strlen(kDeviceLink), device_);
    Text(line);
  }

  // The bar shows this run between `base` and `base + span`; `scan`: the run begins with a
  // surface scan, whose own figures fill the first four fifths.
  void Range(uint32_t base, uint32_t span, bool scan) {
    base_ = base;
    span_ = span;
    scan_ = scan;
    passes_ = false;
    raw_ = 0;
  }

  // The checker gets the device as kDeviceLink, its descriptor 4 (a copy of `device`): it
  // opens exactly what was probed, whatever happens to the path meanwhile.
  static constexpr const char* kDeviceLink = "/proc/self/fd/4";
  bool Start(const std::string& program, const std::vector<std::string>& args, int device,
             const std::string& deviceName, std::string* error) {
    device_ = deviceName;
    int text[2], progress[2];
    if (pipe2(text, O_CLOEXEC) != 0) {
      *error = Errno(errno);
      return false;
    }
    if (pipe2(progress, O_CLOEXEC) != 0) {
      *error = Errno(errno);
      close(text[0]);
      close(text[1]);
      return false;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
      // Only async-signal-safe calls from here on.
      setpgid(0, 0);
      // The program's end stops the checker cleanly (e2fsck takes SIGTERM as a cancel).
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      signal(SIGINT, SIG_DFL);
      signal(SIGTERM, SIG_DFL);
      // Its output going nowhere once the program is gone must not kill it in mid-repair.
      signal(SIGPIPE, SIG_IGN);
      // Out of the way of 0 to 3 first: a pipe may have got one of those numbers.
      const int textEnd = fcntl(text[1], F_DUPFD_CLOEXEC, 10);
      const int progressEnd = fcntl(progress[1], F_DUPFD_CLOEXEC, 10);
      const int deviceEnd = fcntl(device, F_DUPFD_CLOEXEC, 10);
      const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (textEnd < 0 || progressEnd < 0 || deviceEnd < 0 || null < 0) _exit(127);
      // dup2 clears close-on-exec on the copies.
      dup2(null, 0);
      dup2(textEnd, 1);
      dup2(textEnd, 2);
      dup2(progressEnd, 3);
      dup2(deviceEnd, 4);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(text[1]);
    close(progress[1]);
    if (child < 0) {
      *error = Errno(errno);
      close(text[0]);
      close(progress[0]);
      return false;
    }
    setpgid(child, child);  // also from here: a stop may come before the child ran
    pid_ = child;
    text_ = text[0];
    progress_ = progress[0];
    terminal_ = TerminalLines();
    return true;
  }

  // Reads the checker's output until it has ended; returns its wait status.
  int Wait() {
    auto lastReport = Clock::now();
    std::string progressLine;
    char buffer[65536];
    while (text_ >= 0 || progress_ >= 0) {
      pollfd fds[2];
      nfds_t n = 0;
      if (text_ >= 0) fds[n++] = {text_, POLLIN, 0};
      if (progress_ >= 0) fds[n++] = {progress_, POLLIN, 0};
      const int ready = poll(fds, n, quietMs_);
      if (ready < 0 && errno != EINTR) break;
      for (nfds_t i = 0; i < n && ready > 0; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const bool isText = fds[i].fd == text_;
        const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
          close(fds[i].fd);
          (isText ? text_ : progress_) = -1;
          if (isText) {
            std::vector<std::string> lines;
            terminal_.Finish(&lines);
            for (const std::string& l : lines) CheckerText(l);
          }
          continue;
        }
        if (isText) {
          std::vector<std::string> lines;
          terminal_.Feed(buffer, static_cast<size_t>(got), &lines);
          for (const std::string& l : lines) CheckerText(l);
          uint32_t scanned;
          if (scan_ && !passes_ && ScanProgress(terminal_.Partial(), &scanned)) {
            raw_ = scanned * 4 / 5;
            Progress();
          }
        } else {
          progressLine.append(buffer, static_cast<size_t>(got));
          size_t end;
          bool any = false;
          uint32_t pass;
          while ((end = progressLine.find('\n')) != std::string::npos) {
            if (ParseProgressLine(progressLine.substr(0, end), &pass)) {
              any = true;
              passes_ = true;
              raw_ = scan_ ? 80 + pass / 5 : pass;
            }
            progressLine.erase(0, end + 1);
          }
          if (any) Progress();
        }
        lastReport = Clock::now();
      }
      if (Clock::now() - lastReport >= std::chrono::milliseconds(quietMs_)) {
        Progress();
        lastReport = Clock::now();
      }
    }
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

  bool stopped() const { return stopped_; }

 private:
  void Progress() {
    const uint32_t percent = base_ + span_ * std::min<uint32_t>(raw_, 100) / 100;
    if (!callback_(kCheckProgress, 0, &percent)) Stop();
  }

  // Leaving early (the program ends inside a report): the checker is stopped, and its output
  // read and dropped until it has ended, so that it never blocks on a full pipe.
  void Abandon() {
    if (pid_ <= 0) {
      if (text_ >= 0) close(text_);
      if (progress_ >= 0) close(progress_);
      return;
    }
    kill(-pid_, SIGINT);
    char buffer[65536];
    bool ended = false;
    int status;
    for (int quietAfterEnd = 0; !(ended && ((text_ < 0 && progress_ < 0) || quietAfterEnd > 10));) {
      pollfd fds[2];
      nfds_t n = 0;
      if (text_ >= 0) fds[n++] = {text_, POLLIN, 0};
      if (progress_ >= 0) fds[n++] = {progress_, POLLIN, 0};
      const int ready = poll(fds, n, 100);
      for (nfds_t i = 0; i < n && ready > 0; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
          close(fds[i].fd);
          (fds[i].fd == text_ ? text_ : progress_) = -1;
        }
      }
      if (!ended) ended = waitpid(pid_, &status, WNOHANG) == pid_;
      // A left-over grandchild (the surface scan) that still holds a pipe is not waited for.
      else if (ready == 0)
        ++quietAfterEnd;
    }
    if (text_ >= 0) close(text_);
    if (progress_ >= 0) close(progress_);
    text_ = progress_ = pid_ = -1;
  }

  // A stop before the start keeps the checker from starting at all.
  void Stop() {
    if (stopped_) return;
    stopped_ = true;
    // The whole group: e2fsck's surface scan runs in a child of its own.
    if (pid_ > 0) kill(-pid_, SIGINT);
  }

  const CheckCallback& callback_;
  int quietMs_;
  pid_t pid_ = -1;
  int text_ = -1, progress_ = -1;
  TerminalLines terminal_;
  std::string device_;
  uint32_t base_ = 0, span_ = 100, raw_ = 0;
  bool scan_ = false, passes_ = false;
  bool stopped_ = false;
};

// How one run of a checker ended.
enum class Verdict { Clean, Corrected, Remain, Failed, Cancelled };

struct RunResult {
  Verdict verdict = Verdict::Failed;
  std::string why;  // of a failure
};

}  // namespace

PosixCheckEngine::PosixCheckEngine(const PosixFileSystem& files, Diagnostics& diag,
                                   PosixCheckOptions options)
    : files_(files), diag_(diag), options_(std::move(options)) {
  if (!options_.unmount)
    options_.unmount = [](const std::string& target) {
      return umount2(target.c_str(), UMOUNT_NOFOLLOW);
    };
}

PosixCheckEngine::Target PosixCheckEngine::FindTarget(const std::string& root) const {
  Target t;
  if (root.empty()) return t;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
  const DriveMapping* drive = nullptr;
  for (const DriveMapping& d : files_.Drives())
    if (d.letter == letter) drive = &d;
  if (!drive) return t;
  // Only the last mount on the drive's folder is visible.
  const std::vector<MountEntry> mounts = ReadMountInfo();
  MountEntry mount;
  bool haveMount = false;
  for (const MountEntry& m : mounts)
    if (m.mountPoint == drive->hostFolder) {
      mount = m;
      haveMount = true;
    }
  t.device = drive->device;
  if (t.device.empty() && haveMount && IsBlock(mount.source)) t.device = mount.source;
  if (t.device.empty()) return t;
  std::vector<std::string> loops = LoopsOf(t.device);
  t.inUseElsewhere = !loops.empty();
  // A loop device whose image another loop device serves too: the same file system may be
  // mounted through that one.
  dev_t own;
  if (IsBlock(t.device, &own)) {
    const std::string backing = BackingFile(own);
    if (!backing.empty() && LoopsOf(backing).size() > 1) t.inUseElsewhere = true;
  }
  if (haveMount) {
    dev_t rdev;
    bool same = IsBlock(t.device, &rdev) && rdev == makedev(mount.major, mount.minor);
    // An image file is mounted through the loop device that serves it.
    for (const std::string& loop : loops)
      if (IsBlock(loop, &rdev) && rdev == makedev(mount.major, mount.minor)) {
        same = true;
        t.device = loop;
        t.inUseElsewhere = loops.size() > 1;
      }
    if (same) {
      t.mounted = true;
      t.mountPoint = mount.mountPoint;
      t.source = mount.source;
      t.fsType = mount.fsType;
      t.mountOptions = mount.mountOptions;
      t.superOptions = mount.superOptions;
      t.root = mount.root;
      t.mountId = mount.id;
      t.mountDevice = makedev(mount.major, mount.minor);
      t.propagation = mount.propagation;
      for (const MountEntry& m : mounts)
        if (m.id != mount.id && m.major == mount.major && m.minor == mount.minor)
          t.mountedElsewhere = true;
      // A slave receives from mounts of the same file system, in this namespace or another.
      for (const std::string& p : mount.propagation)
        if (p.compare(0, 7, "master:") == 0) t.mountedElsewhere = true;
    }
  }
  return t;
}

std::string PosixCheckEngine::ReadOnlyReason(const Target& t) const {
  if (t.mounted && t.mountPoint == "/") return "it is the system drive";
  if (t.mounted && t.root != "/") return "only a folder of its file system is the drive";
  if (t.mountedElsewhere) return "its file system is mounted in another place too";
  if (t.inUseElsewhere) return "it is in use";
  if (ReadOnlyDevice(t.device)) return "its device is read-only";
  // A mounted drive is unmounted for the check, which fails exactly when it is busy.
  if (t.mounted) return {};
  const int fd = open(t.device.c_str(), O_WRONLY | O_EXCL | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return NoRight(errno) ? "the check needs administrator rights" : "it is in use";
  close(fd);
  return {};
}

bool PosixCheckEngine::CanOpenExclusive(const std::string& root) {
  const Target t = FindTarget(root);
  return !t.device.empty() && ReadOnlyReason(t).empty();
}

void PosixCheckEngine::Chkdsk(const std::string& root, const std::string& /*fileSystem*/,
                              bool fixErrors, bool verbose, bool /*checkOnlyIfDirty*/,
                              bool scanSurface, const CheckCallback& callback) {
  const std::string drive = root.substr(0, 2);
  const Target target = FindTarget(root);
  if (target.device.empty()) {
    diag_.Warn("disk check of " + drive + " not possible: the drive has no device");
    return;
  }
  const auto refuse = [&](const std::string& line) {
    diag_.Warn("disk check of " + drive + ": " + line);
    CheckTextOutput record{1, line.c_str()};
    callback(kCheckTextOutput, 0, &record);
    const uint8_t failed = 0;
    callback(kCheckDone, 0, &failed);
  };
  // Held open to the end: what was probed is what is checked (the checker gets this very
  // descriptor), and a loop device set up to clear itself does not go with the mount.
  // Without blocking: a FIFO in the device's place must not hang the program.
  const UniqueFd hold(open(target.device.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!hold) {
    const int e = errno;
    refuse(NoRight(e)
               ? "The check needs administrator rights: " + target.device + ": " + Errno(e) + "."
               : "The drive cannot be checked: " + target.device + ": " + Errno(e) + ".");
    return;
  }
  struct stat held;
  if (fstat(hold.get(), &held) != 0 || !(S_ISBLK(held.st_mode) || S_ISREG(held.st_mode)) ||
      (target.mounted && (!S_ISBLK(held.st_mode) || held.st_rdev != target.mountDevice))) {
    refuse("The drive cannot be checked: " + target.device + " is not the drive's device.");
    return;
  }
  const auto unchanged = [&] {
    struct stat now;
    return stat(target.device.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
           now.st_ino == held.st_ino && now.st_rdev == held.st_rdev;
  };
  // The type comes from the device itself, never from what is mounted on the drive's folder.
  const std::string type = ProbeType(hold.get());
  const bool ext = type == "ext2" || type == "ext3" || type == "ext4";
  const bool fat = type == "vfat" || type == "msdos";
  if (!ext && !fat) {
    refuse("The drive cannot be checked: " + target.device +
           " holds no ext2, ext3, ext4 or FAT file system.");
    return;
  }
  const std::string checkerName = ext ? options_.e2fsck : options_.fsckFat;
  const std::string checker = FindProgram(checkerName);
  if (checker.empty()) {
    diag_.Warn("disk check of " + drive + " not possible: " + checkerName + " is not installed");
    return;
  }

  std::string readOnlyWhy = ReadOnlyReason(target);
  bool fixing = fixErrors && readOnlyWhy.empty();
  if (readOnlyWhy.empty()) readOnlyWhy = "it is in use";

  // The drive goes back where it was in every outcome, through the pinned folder; the guardian
  // does it when the program cannot.
  struct Remount {
    PosixCheckEngine& engine;
    const std::string& drive;
    MountBackPlan plan;
    Guardian guardian;
    UniqueFd pin;
    bool pending = false;
    std::string failure;
    void Now() {
      if (!pending) return;
      pending = false;
      int sharing = 0;
      const int error = pin ? MountBack(plan, pin.get(), &sharing) : ENOENT;
      guardian.Release();
      const std::string& at = plan.mountPoint;
      if (error == ESTALE)
        failure = "The drive was not mounted again: " + at +
                  " no longer leads to the folder it was mounted on.";
      else if (error == ENXIO)
        failure = "The drive was not mounted again: " + plan.source + " is no longer its device.";
      else if (error == ENOENT && !pin)
        failure = "The drive was not mounted again: its folder " + at + " is gone.";
      else if (error)
        failure = "The drive could not be mounted again at " + at + ": " + Errno(error) + ".";
      else if (sharing)
        failure = "The drive was mounted again at " + at +
                  ", but its sharing with other mounts could not be restored: " + Errno(sharing) +
                  ".";
      if (!failure.empty())
        engine.diag_.Warn("disk check of " + drive + " (" + plan.source + "): " + failure);
    }
    ~Remount() { Now(); }
  } remount{*this, drive, {}, {}, {}, false, {}};

  if (fixing && target.mounted) {
    remount.plan = PlanMountBack(target);
    if (options_.mount) remount.plan.hook = &options_.mount;
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
    if (!parent) {
      fixing = false;
      readOnlyWhy = "its mount changed while the check began";
    } else if (!remount.guardian.Start(remount.plan, hold.get())) {
      fixing = false;
      readOnlyWhy = "the drive could not be guarded while it is unmounted";
    } else if (options_.unmount(target.mountPoint) != 0) {
      const int e = errno;
      fixing = false;
      readOnlyWhy = NoRight(e) ? "the check needs administrator rights" : "it is in use";
      remount.guardian.Release();
    } else {
      // A mount point cannot be renamed or removed while it is one: right after the unmount
      // the name still leads to the folder the drive was mounted on.
      remount.pin.reset(
          openat(parent.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC));
      if (remount.pin) remount.guardian.SendPin(remount.pin.get());
      remount.pending = true;
    }
  }

  CheckRun run(callback, options_.quietReportMs);
  if (!fixing) run.Text("The drive is checked without fixing: " + readOnlyWhy + ".");

  // Runs the checker once; `mode` is "-n", "-y", "-a"; the bar between base and base + span.
  const auto check = [&](const std::string& mode, bool scan, uint32_t base, uint32_t span) {
    std::vector<std::string> args;
    if (ext) args = {"-f", "-C", "3"};
    if (verbose) args.push_back("-v");
    args.push_back(mode);
    if (scan) args.push_back("-c");
    args.push_back(CheckRun::kDeviceLink);
    RunResult r;
    if (run.stopped()) {
      r.verdict = Verdict::Cancelled;
      return r;
    }
    if (!unchanged()) {
      r.why = target.device + " was replaced during the check.";
      return r;
    }
    std::string error;
    run.Range(base, span, scan);
    if (!run.Start(checker, args, hold.get(), target.device, &error)) {
      r.why = checkerName + " could not be started (" + error + ").";
      return r;
    }
    const int status = run.Wait();
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    if (run.stopped() || (ext && WIFEXITED(status) && (code & 32))) {
      r.verdict = Verdict::Cancelled;
    } else if (WIFSIGNALED(status)) {
      r.why = checkerName + " was ended by signal " + std::to_string(WTERMSIG(status)) + ".";
    } else if (ext ? (code & (8 | 16 | 128)) != 0 : code > 1) {
      r.why = checkerName + " ended with status " + std::to_string(code) + ".";
    } else if (ext ? (code & 4) != 0 : code == 1 && mode == "-n") {
      r.verdict = Verdict::Remain;
    } else if (code != 0) {
      // A read-only run that says something changed still found something.
      r.verdict = mode == "-n" ? Verdict::Remain : Verdict::Corrected;
    } else {
      r.verdict = Verdict::Clean;
    }
    return r;
  };
  // A fixing run that changed something is followed by a read-only one, which has the last word.
  const auto fix = [&](bool scan, uint32_t base, uint32_t span, bool* verified) {
    RunResult r = check(ext ? "-y" : "-a", scan, base, span);
    *verified = false;
    if (r.verdict != Verdict::Corrected) return r;
    const RunResult again = check("-n", false, base + span, 0);
    *verified = true;
    if (again.verdict == Verdict::Clean) return r;
    return again;
  };

  RunResult result;
  bool verified = false;
  if (!fixing) {
    result = check("-n", false, 0, 100);
  } else {
    // The surface scan makes e2fsck give up on file systems whose bitmaps or inode tables lie
    // outside their group, which a plain repair fixes: repair first, scan what came out clean.
    const bool scan = ext && scanSurface;
    result = fix(false, 0, scan ? 30 : 100, &verified);
    if (scan && (result.verdict == Verdict::Clean || result.verdict == Verdict::Corrected)) {
      bool scanVerified;
      const RunResult scanned = fix(true, 30, 70, &scanVerified);
      if (scanned.verdict != Verdict::Clean) result = scanned;
      verified |= scanVerified;
    }
  }

  std::string last;
  bool success = false;
  switch (result.verdict) {
    case Verdict::Cancelled:
      last = "The check was cancelled.";
      break;
    case Verdict::Failed:
      last = "The check failed: " + result.why;
      break;
    case Verdict::Remain:
      last = !fixing ? "Errors remain: the drive was checked without fixing (" + readOnlyWhy + ")."
             : verified ? (ext ? "Errors remain: a second check still finds errors."
                               : "Errors remain: a second check still finds errors or cannot "
                                 "read the drive.")
                        : "Errors remain: they could not all be corrected.";
      break;
    case Verdict::Corrected:
      last = "Errors were corrected.";
      success = true;
      break;
    case Verdict::Clean:
      last = "No errors found.";
      success = true;
      break;
  }

  remount.Now();
  if (!remount.failure.empty()) success = false;
  run.Text(last);
  if (!remount.failure.empty()) run.Text(remount.failure);
  const uint8_t flag = success ? 1 : 0;
  callback(kCheckDone, 0, &flag);
}

}  // namespace qv
