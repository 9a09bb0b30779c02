// The tests' processes: nothing is ever started.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace qv {

class MemoryProcesses : public Processes {
 public:
  bool Start(const std::string& windowsCommandLine, int64_t*) override {
    started.push_back(windowsCommandLine);
    return false;
  }
  bool StillActive(int64_t, int* exitCode) override {
    *exitCode = -1;
    return false;
  }
  // The command lines the program asked to start.
  std::vector<std::string> started;
};

}  // namespace qv
