// Program entry: the start-up sequence and the message loop.
#pragma once

namespace qv {

struct Program;

// Runs start-up and then the message loop until ExitProgram or a quit event. Returns the
// process exit status (non-zero when start-up could not go on).
int RunProgram(Program& p);

// Steps 1 to 15 of start-up. False when the skin cannot be used (a message has been given).
bool StartUp(Program& p);

// Handles events until ExitProgram or a quit event; returns the exit status.
int MessageLoop(Program& p);

// Ends the program: stops the timers, releases surfaces and leaves through ProgramExit.
[[noreturn]] void ExitProgram(Program& p);

}  // namespace qv
