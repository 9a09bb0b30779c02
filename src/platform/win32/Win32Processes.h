// Programs started with CreateProcessW, and their ends.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/Processes.h"

namespace qv {

class Win32Processes : public Processes {
 public:
  Win32Processes() = default;
  // Programs still running go on; only the handles on them are let go.
  ~Win32Processes() override;
  Win32Processes(const Win32Processes&) = delete;
  Win32Processes& operator=(const Win32Processes&) = delete;

  Result<int64_t> Start(const std::string& windowsCommandLine, ProgramWindow window) override;
  std::optional<int> Ended(int64_t pid) override;

 private:
  std::map<int64_t, void*> running_;  // process handles
  std::map<int64_t, int> ended_;      // exit codes, asked for again
};

}  // namespace qv
