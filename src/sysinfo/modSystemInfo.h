// The system-information page: processor load, memory, the chosen drive and the system.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct Program;

// Makes the processor-load meter; it takes its first sample now.
void CreateCpuMeter(Program& p);

void UpdateMemoryInfo(Program& p);
void UpdateSystemInfo(Program& p);

// "512 MB", "511.5 MB": megabytes to two decimals, "." whatever the regional settings.
std::string MemoryText(double bytes);
// " 74,53 GB", " 500 MB": a drive size given in MB, with "," and a leading blank.
std::string DriveSizeText(double megabytes);
// "00A1-B2C3".
std::string SerialText(uint32_t serial);

// The timers, the screen change and the drive list of "systeminfo" run these routines.
void RegisterSystemInfoReactions(Program& p);

}  // namespace qv
