// quorvin-probe run and shots: the program on a headless display, driven without a window.
#pragma once

#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Events.h"
#include "platform/common/DriveLetters.h"
#include "probe/Script.h"

namespace probe {

class ProbeHost;

// The probe's event source: the script's events first, then the window system's. Timers only
// remember whether they run; they tick when the script says "tick", never by themselves.
class ProbeEvents : public qv::EventSource {
 public:
  explicit ProbeEvents(ProbeHost& host) : host_(host) {}

  bool PollEvent(qv::Event* e) override;
  void WaitEvent(qv::Event* e) override;
  void SetTimer(int timer, int intervalMs, bool enabled) override;
  bool TimerEnabled(int timer) const override;
  void Sleep(int ms) override;

  void Push(const qv::Event& e) { queue_.push_back(e); }

 private:
  ProbeHost& host_;
  std::deque<qv::Event> queue_;
  bool enabled_[qv::kTimerCount] = {};
};

struct RunOptions {
  std::string appDir;
  std::vector<qv::DriveMapping> drives;
  std::optional<ClockTime> clock;  // a fake clock; without it the real one, read only
  std::string outDir = ".";
  std::string script;  // a file, or "-" for standard input
};

// Parses the arguments after "run". False with a message for bad arguments.
bool ParseRunArguments(const std::vector<std::string>& args, RunOptions* options,
                       std::string* error);

// Runs a script. Returns the exit status: 0 the script ran to its end, 1 a line could not be
// carried out or start-up failed, 2 bad arguments.
int RunScript(const RunOptions& options, std::ostream& out, std::ostream& err);

// Shows every screen that has a layout file and writes SCREEN.png into outDir.
int WriteShots(const std::string& appDir, const std::string& outDir, std::ostream& out,
               std::ostream& err);

}  // namespace probe
