// User messages on standard error, also for a program of the window subsystem, which gets no
// console of its own: they reach the console of the program that started it, if any.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace qv {

class Win32Diagnostics : public Diagnostics {
 public:
  void Warn(const std::string& line) override;
  // The lines so far (at most the last few dozen), for a message box when start-up fails.
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

}  // namespace qv
