#include "platform/linux/CheckByHelper.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/linux/ChildProcess.h"
#include "platform/linux/HelperLines.h"
#include "platform/linux/PrivilegedHelper.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

std::string CheckThroughHelper(const std::vector<std::string>& command,
                               const CheckCallback& callback, int quietReportMs) {
  const bool pkexec = !command.empty() && command[0] == "pkexec";
  UniqueFd out, outEnd, in, inEnd;
  if (Status s = MakePipe(&out, &outEnd); !s)
    return "no pipe for quorvin-helper (" + s.message() + ")";
  if (Status s = MakePipe(&in, &inEnd); !s)
    return "no pipe for quorvin-helper (" + s.message() + ")";
  ChildOptions o;
  o.descriptors = {{0, in.get()}, {1, outEnd.get()}, {2, STDERR_FILENO}};
  o.newSession = true;
  o.defaultSignals = {SIGINT, SIGTERM, SIGPIPE};
  ChildProcess child;
  if (const Status s = child.Start(command, o); !s)
    return pkexec && s.message() == std::strerror(ENOENT)
               ? "pkexec is not installed"
               : command[0] + " could not be started (" + s.message() + ")";
  in.reset();
  outEnd.reset();

  using Clock = std::chrono::steady_clock;
  HelperLineReader reader;
  bool any = false, done = false, stopped = false;
  uint32_t percent = 0;
  const auto answer = [&](bool go) {
    if (go || stopped) return;
    stopped = true;
    inEnd.reset();
    // Only pkexec itself, while it asks: once it runs the helper as root, the user's signal
    // cannot reach it, and the closed input stops the helper cleanly.
    if (pkexec && !any) child.Signal(SIGTERM);
  };
  auto lastReport = Clock::now();
  ChildExit exit;
  bool ended = false;
  char buffer[65536];
  while (out) {
    pollfd fd{out.get(), POLLIN, 0};
    const int ready = poll(&fd, 1, quietReportMs);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0) {
      const ssize_t got = read(out.get(), buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      std::vector<HelperReport> reports;
      reader.Feed(buffer, static_cast<size_t>(got), &reports);
      for (const HelperReport& r : reports) {
        any = true;
        if (r.kind == HelperReport::Progress) {
          percent = r.percent;
          answer(callback(kCheckProgress, 0, &percent));
        } else if (r.kind == HelperReport::Text) {
          const CheckTextOutput record{1, r.text.c_str()};
          answer(callback(kCheckTextOutput, 0, &record));
        } else if (!done) {
          done = true;
          const uint8_t flag = r.success ? 1 : 0;
          callback(kCheckDone, 0, &flag);
        }
      }
      lastReport = Clock::now();
    } else if (ended || (ended = child.TryWait(&exit))) {
      // Gone, and a process of its own (the guardian) still holds the pipe.
      break;
    }
    if (Clock::now() - lastReport >= std::chrono::milliseconds(quietReportMs)) {
      answer(callback(kCheckProgress, 0, &percent));
      lastReport = Clock::now();
    }
  }
  out.reset();
  if (!ended) exit = child.Wait();

  if (!any && !stopped && !exit.signaled &&
      (exit.code == kHelperDismissed || exit.code == kHelperNotAuthorised))
    return exit.code == kHelperDismissed ? "the authorisation was dismissed"
                                         : "no authorisation was given";
  if (done) return "";
  std::string last;
  if (stopped)
    last = "The check was cancelled.";
  else if (exit.signaled)
    last =
        "The check failed: quorvin-helper was ended by signal " + std::to_string(exit.code) + ".";
  else if (exit.code != 0 && exit.code != kHelperJobFailed && exit.code != kHelperRefused)
    last = "The check failed: quorvin-helper ended with status " + std::to_string(exit.code) + ".";
  else if (exit.code != kHelperRefused)
    return "";  // nothing to check, as the direct path ends without a report
  if (!last.empty()) {
    const CheckTextOutput record{1, last.c_str()};
    callback(kCheckTextOutput, 0, &record);
  }
  const uint8_t failed = 0;
  callback(kCheckDone, 0, &failed);
  return "";
}

}  // namespace qv
