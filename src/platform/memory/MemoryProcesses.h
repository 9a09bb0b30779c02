// The tests' processes: nothing is ever started.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace qv {

class MemoryProcesses : public Processes {
 public:
  Result<int64_t> Start(const std::string& windowsCommandLine, ProgramWindow window) override {
    started.push_back(windowsCommandLine);
    windows.push_back(window);
    return Status::Error("nothing is started here");
  }
  std::optional<int> Ended(int64_t) override { return -1; }
  // The command lines the program asked to start.
  std::vector<std::string> started;
  std::vector<ProgramWindow> windows;  // how each was to be shown
};

}  // namespace qv
