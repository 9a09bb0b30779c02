// Small host-path helpers shared by the file-system units.
#pragma once

#include <sys/stat.h>

#include <string>

namespace qv {

// folder + "/" + name, without doubling the root's "/".
std::string JoinHost(const std::string& folder, const std::string& name);

// Opens a regular file for reading; -1 for anything else. A FIFO would block the open, so it is
// opened without waiting and refused. `st`, when given, receives the file's stat.
int OpenRegularForReading(const std::string& hostPath, struct stat* st = nullptr);

}  // namespace qv
