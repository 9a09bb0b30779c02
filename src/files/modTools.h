// Drive and path utilities shared by the functions, and the yield to the message loop.
#pragma once

#include <string>
#include <vector>

namespace qv {

struct Program;

// "C:\ [LABEL]", or the bare root for unlabelled or unreadable volumes and for A: and B:.
std::string GetDriveCaption(Program& p, const std::string& root);
// One caption per logical drive, in the system's order.
std::vector<std::string> GetDriveList(Program& p);

// Sleeps 1 ms when asked, then hands every pending window event to the main window's handlers.
// Handlers may run commands that yield again.
void Yield(Program& p, bool sleepFirst);

}  // namespace qv
