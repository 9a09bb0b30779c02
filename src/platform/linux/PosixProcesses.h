// Programs started from Windows-form command lines, with DOS paths translated to host paths.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/Processes.h"
#include "platform/common/WindowsCommandLine.h"
#include "platform/linux/ChildProcess.h"
#include "platform/linux/PosixFileSystem.h"

namespace qv {

class PosixProcesses : public Processes {
 public:
  explicit PosixProcesses(PosixFileSystem& files) : files_(files) {}

  // The host argument vector for a command line: the program and every absolute DOS path of a
  // drive of the table become host paths.
  std::vector<std::string> HostArguments(const std::string& windowsCommandLine);

  // The window form is for the program to choose: X has no hidden start.
  Result<int64_t> Start(const std::string& windowsCommandLine, ProgramWindow window) override;
  std::optional<int> Ended(int64_t pid) override;

 private:
  PosixFileSystem& files_;
  std::map<int64_t, ChildProcess> running_;
  std::map<int64_t, int> ended_;  // exit codes of reaped children, asked for again
};

}  // namespace qv
