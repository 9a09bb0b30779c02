// Starting external programs and learning when they have ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Status.h"

namespace qv {

// How a started program's window is shown: a job of the program's own runs out of sight, a
// program the user starts comes up maximised with the focus.
enum class ProgramWindow { Hidden, Maximised };

class Processes {
 public:
  virtual ~Processes() = default;

  // Starts the program of a command line in the Windows form (program path, then arguments,
  // double quotes grouping). Its process id, or why it cannot be started.
  virtual Result<int64_t> Start(const std::string& windowsCommandLine, ProgramWindow window) = 0;
  // Nothing while the program runs. Once it has ended: its exit code when known (-1 for a
  // process this object did not start).
  virtual std::optional<int> Ended(int64_t pid) = 0;
};

}  // namespace qv
