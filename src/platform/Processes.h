// Starting external programs and learning when they have ended.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Status.h"

namespace qv {

class Processes {
 public:
  virtual ~Processes() = default;

  // Starts the program of a command line in the Windows form (program path, then arguments,
  // double quotes grouping). Its process id, or why it cannot be started.
  virtual Result<int64_t> Start(const std::string& windowsCommandLine) = 0;
  // Nothing while the program runs. Once it has ended: its exit code when known (-1 for a
  // process this object did not start).
  virtual std::optional<int> Ended(int64_t pid) = 0;
};

}  // namespace qv
