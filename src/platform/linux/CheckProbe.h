// What the disk check learns before it starts a checker: the file system a device holds, whether
// the device takes writes at all, and where the checker program is.
#pragma once

#include <string>

namespace qv {

// The type of the file system on an open device as its own signature says; empty when it has
// none, or more than one.
std::string ProbeType(int fd);

// Whether the device refuses writes (a loop device set up read-only, a locked card); the
// checker could not repair it, so it is not taken from its user to try.
bool ReadOnlyDevice(const std::string& device);

// A program by name (searched in PATH) or path; empty when it is not there.
std::string FindProgram(const std::string& name);

}  // namespace qv
