// What the user reads when a job needs more rights than the program runs with, the same on
// every platform.
#pragma once

#include <string>

namespace qv {

inline constexpr char kClockNeedsRights[] = "Setting the clock needs administrator rights";

// The line of a check that runs without fixing, with why fixing was refused.
inline std::string FixingNeedsRights(const std::string& why) {
  return "Fixing needs administrator rights: " + why + ".";
}

}  // namespace qv
