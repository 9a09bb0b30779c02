// The one way the Linux platform starts a program: the descriptors it gets, placed where it
// expects them whatever numbers they have here, its signals reset, optionally a process group
// of its own and a signal when the program ends; a failed start is told by the start itself.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/Status.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

// How a child ended: its exit code, or the signal that ended it.
struct ChildExit {
  bool signaled = false;
  int code = 0;  // the exit code, or the signal's number
};

struct ChildOptions {
  // {number in the child, descriptor here}: the child gets exactly these beside what does not
  // close on exec.
  std::vector<std::pair<int, int>> descriptors;
  bool ownGroup = false;  // a group of its own, which Signal reaches as a whole
  // A session of its own, without the program's terminal: pkexec asks there for a password
  // where no desktop agent answers, out of the user's sight.
  bool newSession = false;
  int deathSignal = 0;  // what the child gets when the program ends; 0: nothing
  std::vector<int> defaultSignals;
  std::vector<int> ignoredSignals;
};

// A pipe whose ends close on exec.
Status MakePipe(UniqueFd* readEnd, UniqueFd* writeEnd);

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(ChildProcess&& other) noexcept
      : pid_(std::exchange(other.pid_, -1)), group_(other.group_) {}
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Neither stops nor waits: a child still running is the owner's to deal with.
  ~ChildProcess() = default;

  // Starts args[0], searched in PATH when it holds no "/", with `args`.
  Status Start(const std::vector<std::string>& args, const ChildOptions& options);
  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0; }
  // To the child, or to its whole group when it has its own.
  void Signal(int signal) const;
  // Blocks until it has ended.
  ChildExit Wait();
  // True once it has ended (then `*exit` says how); false while it runs.
  bool TryWait(ChildExit* exit);

 private:
  pid_t pid_ = -1;
  bool group_ = false;
};

}  // namespace qv
