// One run of a checker after another: the child, its two pipes, and the reports made of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/CheckEngine.h"
#include "platform/Status.h"
#include "platform/linux/CheckOutput.h"
#include "platform/linux/ChildProcess.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

class CheckRun {
 public:
  CheckRun(const CheckCallback& callback, int quietReportMs)
      : callback_(callback), quietMs_(quietReportMs) {}
  CheckRun(const CheckRun&) = delete;
  CheckRun& operator=(const CheckRun&) = delete;
  ~CheckRun() { Abandon(); }

  // Reports a line as the engine's own.
  void Text(const std::string& line);

  // The bar shows this run between `base` and `base + span`; `scan`: the run begins with a
  // surface scan, whose own figures fill the first four fifths.
  void Range(uint32_t base, uint32_t span, bool scan);

  // The checker gets the device as kDeviceLink, its descriptor 4 (a copy of `device`): it
  // opens exactly what was probed, whatever happens to the path meanwhile.
  static constexpr const char* kDeviceLink = "/proc/self/fd/4";
  Status Start(const std::string& program, const std::vector<std::string>& args, int device,
               const std::string& deviceName);

  // Reads the checker's output until it has ended.
  ChildExit Wait();

  bool stopped() const { return stopped_; }

 private:
  // A checker's line, with the device called by its own name.
  void CheckerText(std::string line);
  void ReadText(const char* data, size_t size);
  void ReadProgress(const char* data, size_t size);
  void Progress();
  // Leaving early (the program ends inside a report): the checker is stopped, and its output
  // read and dropped until it has ended, so that it never blocks on a full pipe.
  void Abandon();
  // A stop before the start keeps the checker from starting at all.
  void Stop();

  const CheckCallback& callback_;
  int quietMs_;
  ChildProcess child_;
  UniqueFd text_, progress_;
  std::string progressLine_;
  TerminalLines terminal_;
  std::string device_;
  uint32_t base_ = 0, span_ = 100, raw_ = 0;
  bool scan_ = false, passes_ = false;
  bool stopped_ = false;
};

}  // namespace qv
