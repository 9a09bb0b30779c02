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

// The folder part of a host path ("/" for a file of the root; empty without any "/").
std::string FolderOf(const std::string& file);
// Ours alone: a folder of the effective user that no one else may write to. A link is none.
bool IsPrivateFolder(const std::string& folder);
// Makes `folder` 0700, with its missing parents, only below folders of our own: run for another
// user (sudo keeping HOME), nothing is left in that user's home that the user cannot change.
bool MakePrivateFolder(const std::string& folder);

enum class Publish { Replace, KeepExisting };
// Writes `file` (mode 0600) aside under a name no one can have prepared, then puts it in place
// at once: a reader sees the old file or the complete new one, never a part. KeepExisting fails
// with EEXIST where the file (or anything of its name) is there by then.
Status WriteFileAside(const std::string& file, const std::string& text, Publish publish);

// Opens a regular file for reading; empty for anything else. A FIFO would block the open, so it is
// opened without waiting and refused. `st`, when given, receives the file's stat.
// The descriptor keeps the flag: local file systems ignore it for files, and clearing it costs a
// call per file.
UniqueFd OpenRegularForReading(const std::string& hostPath, struct stat* st = nullptr);
// After a read of such a descriptor failed with `error`: true when that was a user-space file
// system honouring the flag and it is cleared now, so the read may be repeated.
bool StopNonBlocking(int fd, int error);

}  // namespace qv
