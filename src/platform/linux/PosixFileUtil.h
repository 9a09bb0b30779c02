// Small host-path helpers shared by the file-system units.
#pragma once

#include <sys/stat.h>

#include <string>

#include "platform/Status.h"
#include "platform/common/DosPath.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

// A failure in the C library's words for `error`, or for the current errno.
Status ErrnoStatus(int error);
Status ErrnoStatus();

// folder + "/" + name, without doubling the root's "/".
std::string JoinHost(const std::string& folder, const std::string& name);

// The folder an XDG variable names when it holds an absolute path, else `fallbackBelowHome` in the
// user's home ($HOME, or the user database); empty without a home.
std::string XdgFolder(const char* variable, const char* fallbackBelowHome);

// Opens a regular file for reading; empty for anything else. A FIFO would block the open, so it is
// opened without waiting and refused. `st`, when given, receives the file's stat.
// The descriptor keeps the flag: local file systems ignore it for files, and clearing it costs a
// call per file.
UniqueFd OpenRegularForReading(const std::string& hostPath, struct stat* st = nullptr);
// After a read of such a descriptor failed with `error`: true when that was a user-space file
// system honouring the flag and it is cleared now, so the read may be repeated.
bool StopNonBlocking(int fd, int error);

}  // namespace qv
