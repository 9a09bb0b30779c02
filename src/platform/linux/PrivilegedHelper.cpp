#include "platform/linux/PrivilegedHelper.h"

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include "platform/linux/PosixFileSystem.h"

namespace qv {

std::string HelperProgramPath() {
  const std::string folder = PosixFileSystem::RunningExecutableFolder();
  if (folder.empty()) return "";
  const std::string base = folder == "/" ? "" : folder;
  for (const std::string& candidate :
       {base + "/quorvin-helper", base + "/../libexec/quorvin/quorvin-helper"}) {
    // Canonical: pkexec picks the polkit action by the program's exact path.
    char real[PATH_MAX];
    if (access(candidate.c_str(), X_OK) == 0 && realpath(candidate.c_str(), real)) return real;
  }
  return "";
}

std::vector<std::string> HelperCommand(const std::string& helper, const std::string& job,
                                       const std::vector<std::string>& args) {
  std::vector<std::string> command;
  if (geteuid() != 0) command.push_back("pkexec");
  command.push_back(helper);
  command.push_back(job);
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

}  // namespace qv
