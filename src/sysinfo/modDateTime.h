// The clock and calendar fields of the skin, and the buttons that step the computer's clock.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace qv {

struct Program;

// Writes the twelve "datetime" fields from one reading of the clock.
void UpdateClock(Program& p);

// "year+", "year-", "month+", ... "second-": moves the clock one step, yielding while the
// system decides, then UpdateClock. A refused change throws before UpdateClock, after showing
// the reason in ("datetime", "status"); one without an answer also refreshes the fields. Other
// words, and steps below the year 1, do nothing.
void AdjustDateTime(Program& p, const std::string& command);

// The wall time one step from `t`: dates keep the time of day and cut the day to the target
// month's length, times wrap within the same date. False for a word that is no step, and where
// the year would fall below 1.
bool StepDateTime(const LocalTime& t, const std::string& command, LocalTime* result);

// How many seconds the clock moves for one step at `now` (seconds since 1970 UTC) in the time
// zone of `zone`. Hours, minutes and seconds step real time (wrapping within the date at
// midnight); days, months and years step the calendar, a wall time skipped by the zone landing
// on the first one that exists after it.
bool StepSeconds(const Clock& zone, int64_t now, const std::string& command, int64_t* seconds);

}  // namespace qv
