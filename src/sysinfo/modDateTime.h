// The clock and calendar fields of the skin, and the buttons that step the computer's clock.
#pragma once

#include <string>

#include "platform/Clock.h"

namespace qv {

struct Program;

// Writes the twelve "datetime" fields from one reading of the clock.
void UpdateClock(Program& p);

// "year+", "year-", "month+", ... "second-": sets the clock one step on, then UpdateClock.
// A refused change throws before UpdateClock, after showing the reason in ("datetime",
// "status"). Other words do nothing.
void AdjustDateTime(Program& p, const std::string& command);

// The time one step from `t`: dates keep the time of day and cut the day to the target month's
// length, times wrap within the same date. False for a word that is no step.
bool StepDateTime(const LocalTime& t, const std::string& command, LocalTime* result);

}  // namespace qv
