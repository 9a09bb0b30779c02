// The helper's "set-clock" job, with the setter apart so that the rest can be tried without
// moving the machine's clock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// The latest time the job sets: the end of the year 9999.
constexpr int64_t kLatestClockTime = 253402300799;

// Seconds since 1970-01-01 00:00 UTC written as decimal digits alone, 0 to kLatestClockTime;
// nothing for anything else (signs, blanks, other characters, too many digits).
std::optional<int64_t> ParseClockTime(const std::string& text);

// SetClockJob with `set` in place of clock_settime: it gets the parsed time and returns 0 or an
// errno value.
int SetClockJobWith(const std::vector<std::string>& args, const std::function<int(int64_t)>& set);

}  // namespace qv
