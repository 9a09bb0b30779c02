#include "platform/linux/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace qv {
namespace {

// Where a program name leads, in the order exec tries them.
std::vector<std::string> Candidates(const std::string& program) {
  if (program.find('/') != std::string::npos) return {program};
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/bin:/usr/bin";
  std::vector<std::string> out;
  size_t from = 0;
  for (;;) {
    const size_t end = dirs.find(':', from);
    const std::string dir = dirs.substr(from, end == std::string::npos ? end : end - from);
    out.push_back(dir.empty() ? program : dir + "/" + program);
    if (end == std::string::npos) break;
    from = end + 1;
  }
  return out;
}

ChildExit FromStatus(int status) {
  if (WIFSIGNALED(status)) return {true, WTERMSIG(status)};
  return {false, WIFEXITED(status) ? WEXITSTATUS(status) : 0};
}

// The child's side, between fork and exec: only async-signal-safe calls.
[[noreturn]] void Become(const std::vector<char*>& candidates, char* const* argv,
                         const ChildOptions& o, pid_t parent, int report) {
  if (o.newSession)
    setsid();
  else if (o.ownGroup)
    setpgid(0, 0);
  if (o.deathSignal != 0) {
    prctl(PR_SET_PDEATHSIG, o.deathSignal);
    if (getppid() != parent) _exit(127);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (int s : o.defaultSignals) sigaction(s, &action, nullptr);
  action.sa_handler = SIG_IGN;
  for (int s : o.ignoredSignals) sigaction(s, &action, nullptr);
  // Out of the way of the numbers the child expects first: a descriptor here may have one of
  // them already.
  int floor = 10;
  for (const auto& d : o.descriptors) floor = std::max(floor, d.first + 1);
  report = fcntl(report, F_DUPFD_CLOEXEC, floor);
  int moved[16];
  const size_t count = std::min<size_t>(o.descriptors.size(), 16);
  for (size_t i = 0; i < count; ++i) {
    moved[i] = fcntl(o.descriptors[i].second, F_DUPFD_CLOEXEC, floor);
    if (moved[i] < 0) {
      const int e = errno;
      if (report >= 0) (void)!write(report, &e, sizeof e);
      _exit(127);
    }
  }
  // dup2 clears close-on-exec on the copies.
  for (size_t i = 0; i < count; ++i) dup2(moved[i], o.descriptors[i].first);
  int error = ENOENT;
  for (char* path : candidates) {
    execve(path, argv, environ);
    // Like the shell: a missing or forbidden one lets the search go on.
    if (errno == EACCES)
      error = EACCES;
    else if (errno != ENOENT && errno != ENOTDIR) {
      error = errno;
      break;
    }
  }
  if (report >= 0) (void)!write(report, &error, sizeof error);
  _exit(127);
}

}  // namespace

Status MakePipe(UniqueFd* readEnd, UniqueFd* writeEnd) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return Status::Error(std::strerror(errno));
  readEnd->reset(ends[0]);
  writeEnd->reset(ends[1]);
  return Status::Ok();
}

Status ChildProcess::Start(const std::vector<std::string>& args, const ChildOptions& options) {
  if (args.empty() || args[0].empty()) return Status::Error("no program");
  if (options.descriptors.size() > 16) return Status::Error("too many descriptors");
  // Everything the child needs is made here: after fork it may not allocate.
  std::vector<std::string> paths = Candidates(args[0]);
  std::vector<char*> candidates;
  for (std::string& p : paths) candidates.push_back(p.data());
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The exec closes the child's end of this pipe; before that, a failure is written to it.
  UniqueFd reportRead, reportWrite;
  if (Status s = MakePipe(&reportRead, &reportWrite); !s) return s;
  const pid_t parent = getpid();
  const pid_t child = fork();
  if (child == 0) Become(candidates, argv.data(), options, parent, reportWrite.get());
  if (child < 0) return Status::Error(std::strerror(errno));
  reportWrite.reset();
  // Also from here: a signal to the group may come before the child ran.
  if (options.ownGroup && !options.newSession) setpgid(child, child);
  int error = 0;
  ssize_t got;
  while ((got = read(reportRead.get(), &error, sizeof error)) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof error)) {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    return Status::Error(std::strerror(error));
  }
  pid_ = child;
  group_ = options.ownGroup;
  return Status::Ok();
}

void ChildProcess::Signal(int signal) const {
  if (pid_ > 0) kill(group_ ? -pid_ : pid_, signal);
}

ChildExit ChildProcess::Wait() {
  if (pid_ <= 0) return {false, -1};
  int status = 0;
  pid_t r;
  while ((r = waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return r < 0 ? ChildExit{false, -1} : FromStatus(status);
}

bool ChildProcess::TryWait(ChildExit* exit) {
  if (pid_ <= 0) {
    *exit = {false, -1};
    return true;
  }
  int status = 0;
  pid_t r;
  while ((r = waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  if (r == 0) return false;
  pid_ = -1;
  *exit = r < 0 ? ChildExit{false, -1} : FromStatus(status);
  return true;
}

}  // namespace qv
