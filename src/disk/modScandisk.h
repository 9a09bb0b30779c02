// Disk check: the file system's own check engine run on the chosen drive, its report shown
// line by line in the screen's report box.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct Program;

// Handler of ("checkhdd", "start"): checks the drive chosen on the screen; returns when done.
void StartDiskCheck(Program& p);
// Runs the engine for one drive root such as "C:\".
void RunDiskCheck(Program& p, const std::string& root);
// What the program does with each report of the engine; true lets the engine go on.
bool DiskCheckCallback(Program& p, uint32_t command, uint32_t subAction, const void* actionInfo);

}  // namespace qv
