#include "platform/linux/PosixProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cctype>
#include <cerrno>

extern char** environ;

namespace qv {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> SplitWindowsCommandLine(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i == line.size()) return args;
  // The program path knows no escapes: a quote runs to the next quote.
  std::string program;
  if (line[i] == '"') {
    size_t end = line.find('"', i + 1);
    if (end == std::string::npos) end = line.size();
    program = line.substr(i + 1, end - i - 1);
    i = end < line.size() ? end + 1 : end;
  } else {
    while (i < line.size() && !IsBlank(line[i])) program += line[i++];
  }
  args.push_back(program);

  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size()) break;
    std::string arg;
    int quotes = 0;  // quotes seen in the current run: odd while inside a quoted part
    size_t backslashes = 0;
    while (i < line.size() && !(IsBlank(line[i]) && quotes == 0)) {
      char c = line[i];
      if (c == '\\') {
        ++backslashes;
        arg += c;
        ++i;
        continue;
      }
      if (c != '"') {
        backslashes = 0;
        arg += c;
        ++i;
        continue;
      }
      // 2n backslashes and a quote: n backslashes, and the quote opens or closes.
      // 2n+1 backslashes and a quote: n backslashes and a literal quote.
      arg.resize(arg.size() - backslashes / 2 - (backslashes % 2));
      bool literal = backslashes % 2 == 1;
      backslashes = 0;
      ++i;
      if (literal) {
        arg += '"';
        continue;
      }
      ++quotes;
      // Inside quotes, a doubled quote stands for one quote and ends the quoted part.
      while (i < line.size() && line[i] == '"') {
        if (++quotes == 3) {
          arg += '"';
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
    }
    args.push_back(arg);
  }
  return args;
}

std::vector<std::string> PosixProcesses::HostArguments(const std::string& windowsCommandLine) {
  std::vector<std::string> args = SplitWindowsCommandLine(windowsCommandLine);
  for (std::string& arg : args) {
    bool absoluteDos = arg.size() >= 3 && std::isalpha(static_cast<unsigned char>(arg[0])) &&
                       arg[1] == ':' && (arg[2] == '\\' || arg[2] == '/');
    if (absoluteDos && files_.Resolve(arg).drive) arg = files_.HostPath(arg);
  }
  return args;
}

bool PosixProcesses::Start(const std::string& windowsCommandLine, int64_t* pid) {
  std::vector<std::string> args = HostArguments(windowsCommandLine);
  if (args.empty() || args[0].empty()) return false;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  // No window and no console: the program reads nothing and its output goes nowhere.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t child = 0;
  bool searchPath = args[0].find('/') == std::string::npos;
  int rc = searchPath ? posix_spawnp(&child, argv[0], &actions, &attr, argv.data(), environ)
                      : posix_spawn(&child, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  ended_.erase(child);
  *pid = child;
  return true;
}

bool PosixProcesses::StillActive(int64_t pid, int* exitCode) {
  auto known = ended_.find(pid);
  if (known != ended_.end()) {
    *exitCode = known->second;
    return false;
  }
  if (pid <= 0) {
    *exitCode = -1;
    return false;
  }
  int status = 0;
  pid_t r;
  do {
    r = waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return true;
  if (r < 0) {
    *exitCode = -1;
    return false;
  }
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ended_[pid] = code;
  *exitCode = code;
  return false;
}

}  // namespace qv
