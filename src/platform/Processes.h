// Starting external programs and learning when they have ended.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

class Processes {
 public:
  virtual ~Processes() = default;

  // Starts the program of a command line in the Windows form (program path, then arguments,
  // double quotes grouping). False when it cannot be started.
  virtual bool Start(const std::string& windowsCommandLine, int64_t* pid) = 0;
  // True while the program runs. Once it has ended: false, with its exit code when known
  // (-1 for a process this object did not start).
  virtual bool StillActive(int64_t pid, int* exitCode) = 0;
};

}  // namespace qv
