// Program entry: the start-up sequence and the message loop.
#pragma once

namespace qv {

struct Program;

// Runs start-up and then the message loop until ExitProgram or a quit event. Returns the
// process exit status (non-zero when start-up could not go on).
int RunProgram(Program& p);

// Start-up: reads the settings, opens the window, loads the skin pictures behind the loading
// bar and shows the main screen. False when the skin cannot be used (a message has been given).
bool StartUp(Program& p);

// Handles events until ExitProgram or a quit event; returns the exit status.
int MessageLoop(Program& p);

// Fills the program's reaction tables: the main window's handlers for Yield and what each
// function does for the elements it owns. Start-up runs it; so must anything that drives a
// Program without start-up.
void InstallReactions(Program& p);

}  // namespace qv
