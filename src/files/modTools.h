// Drive and path utilities shared by the functions, and the yield to the message loop.
#pragma once

namespace qv {

struct Program;

// Sleeps 1 ms when asked, then hands every pending window event to the main window's handlers.
// Handlers may run commands that yield again.
void Yield(Program& p, bool sleepFirst);

}  // namespace qv
