// Captions of the logical drives, as the drive lists and the functions show them.
#pragma once

#include <string>
#include <vector>

namespace qv {

struct Program;

// "C:\ [LABEL]", or the bare root for unlabelled or unreadable volumes and for A: and B:.
std::string GetDriveCaption(Program& p, const std::string& root);
// One caption per logical drive, in the system's order.
std::vector<std::string> GetDriveList(Program& p);

}  // namespace qv
