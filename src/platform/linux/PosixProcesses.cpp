#include "platform/linux/PosixProcesses.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/linux/ChildProcess.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

std::vector<std::string> PosixProcesses::HostArguments(const std::string& windowsCommandLine) {
  std::vector<std::string> args = SplitWindowsCommandLine(windowsCommandLine);
  for (std::string& arg : args) {
    bool absoluteDos = arg.size() >= 3 && std::isalpha(static_cast<unsigned char>(arg[0])) &&
                       arg[1] == ':' && (arg[2] == '\\' || arg[2] == '/');
    if (absoluteDos && files_.Resolve(arg).drive) arg = files_.HostPath(arg);
  }
  return args;
}

Result<int64_t> PosixProcesses::Start(const std::string& windowsCommandLine, ProgramWindow) {
  const std::vector<std::string> args = HostArguments(windowsCommandLine);
  if (args.empty() || args[0].empty()) return Status::Error("the command line names no program");
  // No window and no console: the program reads nothing and its output goes nowhere.
  const UniqueFd in(open("/dev/null", O_RDONLY | O_CLOEXEC));
  const UniqueFd out(open("/dev/null", O_WRONLY | O_CLOEXEC));
  if (!in || !out) return Status::Error("/dev/null: " + std::string(std::strerror(errno)));
  ChildOptions o;
  o.descriptors = {{0, in.get()}, {1, out.get()}};
  o.defaultSignals = {SIGPIPE, SIGINT, SIGTERM};
  ChildProcess child;
  if (Status s = child.Start(args, o); !s) return s;
  const pid_t started = child.pid();
  ended_.erase(started);
  running_.erase(started);
  running_.emplace(started, std::move(child));
  return static_cast<int64_t>(started);
}

std::optional<int> PosixProcesses::Ended(int64_t pid) {
  auto known = ended_.find(pid);
  if (known != ended_.end()) return known->second;
  auto running = running_.find(pid);
  if (running == running_.end()) return -1;
  ChildExit exit;
  if (!running->second.TryWait(&exit)) return std::nullopt;
  running_.erase(running);
  const int code = exit.signaled ? 128 + exit.code : exit.code;
  ended_[pid] = code;
  return code;
}

}  // namespace qv
