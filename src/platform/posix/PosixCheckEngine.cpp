#include "platform/posix/PosixCheckEngine.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/posix/PosixMounts.h"

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
      if (line_.size() >= kMaxLine) Close(lines);
    }
  }
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

// A program by name (searched in PATH) or path; empty when it is not there.
std::string FindProgram(const std::string& name) {
  if (name.find('/') != std::string::npos)
    return access(name.c_str(), X_OK) == 0 ? name : std::string();
  const char* path = std::getenv("PATH");
  std::string dirs = path && *path ? path : "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
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

// Mount flags and file-system data of a mount as /proc/self/mountinfo shows it.
void MountArguments(const std::string& mountOptions, const std::string& superOptions,
                    unsigned long* flags, std::string* data) {
  static const struct {
    const char* name;
    unsigned long flag;
  } kFlags[] = {{"ro", MS_RDONLY},        {"nosuid", MS_NOSUID},     {"nodev", MS_NODEV},
                {"noexec", MS_NOEXEC},    {"sync", MS_SYNCHRONOUS},  {"dirsync", MS_DIRSYNC},
                {"noatime", MS_NOATIME},  {"nodiratime", MS_NODIRATIME},
                {"relatime", MS_RELATIME}, {"strictatime", MS_STRICTATIME},
                {"lazytime", MS_LAZYTIME}, {"mand", MS_MANDLOCK}};
  *flags = 0;
  data->clear();
  auto take = [&](const std::string& options, bool super) {
    std::istringstream in(options);
    std::string option;
    while (std::getline(in, option, ',')) {
      if (option.empty() || option == "rw") continue;
      bool known = false;
      for (const auto& f : kFlags)
        if (option == f.name) {
          *flags |= f.flag;
          known = true;
        }
      // "seclabel" only shows that a security module labels the files; it is no option.
      if (known || !super || option == "seclabel") continue;
      if (!data->empty()) *data += ',';
      *data += option;
    }
  };
  take(mountOptions, false);
  take(superOptions, true);
}

std::string Errno(int e) {
  return std::strerror(e);
}

// One run of a checker: the child, its two pipes, and the reports made of them.
class CheckRun {
 public:
  CheckRun(const CheckCallback& callback, int quietReportMs)
      : callback_(callback), quietMs_(quietReportMs) {}
  ~CheckRun() {
    // Leaving early (an exception from a report): the checker ends with us, cleanly.
    if (pid_ > 0) {
      kill(-pid_, SIGINT);
      int status;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
    }
    if (text_ >= 0) close(text_);
    if (progress_ >= 0) close(progress_);
  }

  // Reports a line as the engine's own.
  void Text(const std::string& line) {
    CheckTextOutput record{1, line.c_str()};
    if (!callback_(kCheckTextOutput, 0, &record)) Stop();
  }

  bool Start(const std::string& program, const std::vector<std::string>& args, std::string* error) {
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
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() != parent) _exit(127);
      sigset_t none;
      sigemptyset(&none);
      sigprocmask(SIG_SETMASK, &none, nullptr);
      signal(SIGINT, SIG_DFL);
      signal(SIGTERM, SIG_DFL);
      signal(SIGPIPE, SIG_DFL);
      // Out of the way of 0 to 3 first: a pipe may have got one of those numbers.
      const int textEnd = fcntl(text[1], F_DUPFD_CLOEXEC, 10);
      const int progressEnd = fcntl(progress[1], F_DUPFD_CLOEXEC, 10);
      const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (textEnd < 0 || progressEnd < 0 || null < 0) _exit(127);
      // dup2 clears close-on-exec on the copies.
      dup2(null, 0);
      dup2(textEnd, 1);
      dup2(textEnd, 2);
      dup2(progressEnd, 3);
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
            for (const std::string& l : lines) Text(l);
          }
          continue;
        }
        if (isText) {
          std::vector<std::string> lines;
          terminal_.Feed(buffer, static_cast<size_t>(got), &lines);
          for (const std::string& l : lines) Text(l);
          if (SurfaceScanProgress()) Progress();
        } else {
          progressLine.append(buffer, static_cast<size_t>(got));
          size_t end;
          bool any = false;
          while ((end = progressLine.find('\n')) != std::string::npos) {
            any |= ParseProgressLine(progressLine.substr(0, end), &percent_);
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
    if (!callback_(kCheckProgress, 0, &percent_)) Stop();
  }

  // The surface scan (badblocks) overwrites one line with "NN.NN% done, ..."; true when that
  // was read.
  bool SurfaceScanProgress() {
    const std::string partial = terminal_.Partial();
    const size_t done = partial.find("% done");
    if (done == std::string::npos) return false;
    size_t start = partial.find_last_of(' ', done);
    start = start == std::string::npos ? 0 : start + 1;
    const double value = std::atof(partial.substr(start, done - start).c_str());
    if (value < 0 || value > 100) return false;
    percent_ = static_cast<uint32_t>(value);
    return true;
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
  uint32_t percent_ = 0;
  bool stopped_ = false;
};

}  // namespace

PosixCheckEngine::PosixCheckEngine(const PosixFileSystem& files, Diagnostics& diag,
                                   PosixCheckOptions options)
    : files_(files), diag_(diag), options_(std::move(options)) {
  if (!options_.mount)
    options_.mount = [](const std::string& source, const std::string& target,
                        const std::string& type, unsigned long flags, const std::string& data) {
      return ::mount(source.c_str(), target.c_str(), type.c_str(), flags,
                     data.empty() ? nullptr : data.c_str());
    };
  if (!options_.unmount)
    options_.unmount = [](const std::string& target) { return umount2(target.c_str(), 0); };
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
  MountEntry mount;
  bool haveMount = false;
  for (const MountEntry& m : ReadMountInfo())
    if (m.mountPoint == drive->hostFolder) {
      mount = m;
      haveMount = true;
    }
  t.device = drive->device;
  if (t.device.empty() && haveMount && IsBlock(mount.source)) t.device = mount.source;
  if (t.device.empty()) return t;
  std::vector<std::string> loops = LoopsOf(t.device);
  t.inUseElsewhere = !loops.empty();
  if (haveMount) {
    dev_t rdev;
    bool same = IsBlock(t.device, &rdev) && rdev == makedev(mount.major, mount.minor);
    // An image file is mounted through the loop device that serves it.
    for (const std::string& loop : loops)
      if (IsBlock(loop, &rdev) && rdev == makedev(mount.major, mount.minor)) {
        same = true;
        t.device = loop;
        t.inUseElsewhere = false;
      }
    if (same) {
      t.mounted = true;
      t.mountPoint = mount.mountPoint;
      t.source = mount.source;
      t.fsType = mount.fsType;
      t.mountOptions = mount.mountOptions;
      t.superOptions = mount.superOptions;
    }
  }
  return t;
}

bool PosixCheckEngine::CanOpenExclusive(const std::string& root) {
  const Target t = FindTarget(root);
  if (t.device.empty() || t.inUseElsewhere) return false;
  // A mounted drive is unmounted for the check, which fails exactly when it is busy; the root
  // file system cannot be.
  if (t.mounted) return t.mountPoint != "/";
  const int fd = open(t.device.c_str(), O_WRONLY | O_EXCL | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

void PosixCheckEngine::Chkdsk(const std::string& root, const std::string& fileSystem,
                              bool fixErrors, bool verbose, bool checkOnlyIfDirty,
                              bool scanSurface, const CheckCallback& callback) {
  const std::string drive = root.substr(0, 2);
  const bool ext = fileSystem == "ext2" || fileSystem == "ext3" || fileSystem == "ext4";
  const bool fat = fileSystem == "vfat" || fileSystem == "msdos" || fileSystem == "fat";
  if (!ext && !fat) {
    diag_.Warn("disk check of " + drive + " not possible: no checker for the file system \"" +
               fileSystem + "\"");
    return;
  }
  const Target target = FindTarget(root);
  if (target.device.empty()) {
    diag_.Warn("disk check of " + drive + " not possible: the drive has no device");
    return;
  }
  const std::string checkerName = ext ? options_.e2fsck : options_.fsckFat;
  const std::string checker = FindProgram(checkerName);
  if (checker.empty()) {
    diag_.Warn("disk check of " + drive + " not possible: " + checkerName + " is not installed");
    return;
  }
  // Held open across the unmount: a loop device set up to clear itself would otherwise go
  // with the mount.
  const int hold = open(target.device.c_str(), O_RDONLY | O_CLOEXEC);
  if (hold < 0) {
    diag_.Warn("disk check of " + drive + " not possible: " + target.device + ": " + Errno(errno));
    return;
  }
  struct Hold {
    int fd;
    ~Hold() { close(fd); }
  } holdGuard{hold};

  // Mounts the drive again where it was, in every outcome; says so when that fails.
  struct Remount {
    PosixCheckEngine& engine;
    const Target& target;
    const std::string& drive;
    bool pending = false;
    std::string failure;
    void Now() {
      if (!pending) return;
      pending = false;
      unsigned long flags;
      std::string data;
      MountArguments(target.mountOptions, target.superOptions, &flags, &data);
      if (engine.options_.mount(target.source, target.mountPoint, target.fsType, flags, data) ==
          0)
        return;
      const std::string why = Errno(errno);
      failure = "The drive could not be mounted again at " + target.mountPoint + ": " + why + ".";
      engine.diag_.Warn("disk check of " + drive + ": " + target.source +
                        " could not be mounted again at " + target.mountPoint + ": " + why);
    }
    ~Remount() { Now(); }
  } remount{*this, target, drive, false, {}};

  CheckRun run(callback, options_.quietReportMs);
  bool fixing = fixErrors;
  const bool system = target.mounted && target.mountPoint == "/";
  std::string readOnlyWhy = system ? "it is the system drive" : "it is in use";
  if (fixing && target.mounted) {
    if (system || options_.unmount(target.mountPoint) != 0)
      fixing = false;
    else
      remount.pending = true;
  }
  if (!fixing) run.Text("The drive is checked without fixing: " + readOnlyWhy + ".");

  std::vector<std::string> args;
  if (ext) {
    args = {"-f", "-C", "3"};
    if (verbose) args.push_back("-v");
    args.push_back(fixing ? "-y" : "-n");
    if (fixing && scanSurface) args.push_back("-c");
    (void)checkOnlyIfDirty;  // always a full check: "-f"
  } else {
    if (verbose) args.push_back("-v");
    args.push_back(fixing ? "-a" : "-n");
  }
  args.push_back(target.device);

  std::string error;
  int status = 0;
  const bool started = !run.stopped() && run.Start(checker, args, &error);
  if (started) status = run.Wait();

  std::string last;
  bool success = false;
  if (run.stopped() || (ext && WIFEXITED(status) && (WEXITSTATUS(status) & 32))) {
    last = "The check was cancelled.";
  } else if (!started) {
    last = "The check failed: " + checkerName + " could not be started (" + error + ").";
  } else if (WIFSIGNALED(status)) {
    last = "The check failed: " + checkerName + " was ended by signal " +
           std::to_string(WTERMSIG(status)) + ".";
  } else {
    const int code = WEXITSTATUS(status);
    const bool broken = ext ? (code & (8 | 16 | 128)) != 0 : code > 1;
    const bool remain = ext ? (code & 4) != 0 : code == 1 && !fixing;
    if (broken) {
      last = "The check failed: " + checkerName + " ended with status " + std::to_string(code) +
             ".";
    } else if (remain) {
      last = fixing ? "Errors remain: they could not all be corrected."
                    : "Errors remain: the drive was checked without fixing (" + readOnlyWhy + ").";
    } else if (code != 0) {
      last = "Errors were corrected.";
      success = true;
    } else {
      last = "No errors found.";
      success = true;
    }
  }

  remount.Now();
  if (!remount.failure.empty()) success = false;
  run.Text(last);
  if (!remount.failure.empty()) run.Text(remount.failure);
  const uint8_t flag = success ? 1 : 0;
  callback(kCheckDone, 0, &flag);
}

}  // namespace qv
