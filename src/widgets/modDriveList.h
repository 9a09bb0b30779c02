// Drive lists: a one-row drive chooser that opens into a menu of every drive.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct Program;

void DriveListClicked(Program& p, int16_t index);
void ToggleDriveMenu(Program& p, int16_t index);
void LockDriveList(Program& p, const std::string& group, const std::string& name);
void UnlockDriveList(Program& p, const std::string& group, const std::string& name);
std::string GetChosenDrive(Program& p, const std::string& group, const std::string& name);

// Load-time action: the program's own drive as the only row.
void ShowOwnDrive(Program& p, int16_t index);

}  // namespace qv
