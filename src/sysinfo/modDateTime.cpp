#include "sysinfo/modDateTime.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "core/Program.h"
#include "core/Reactions.h"
#include "widgets/modTextBox.h"

namespace qv {

namespace {

const char kGroup[] = "datetime";

bool IsLeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

// False where the year would fall below 1.
bool AddMonths(LocalTime* t, int months) {
  const int64_t index = int64_t{t->year} * 12 + (t->month - 1) + months;
  if (index < 12 || index / 12 > INT32_MAX) return false;
  t->year = static_cast<int>(index / 12);
  t->month = static_cast<int>(index % 12) + 1;
  t->day = std::min(t->day, DaysInMonth(t->year, t->month));
  return true;
}

bool AddDays(LocalTime* t, int days) {
  t->day += days;
  if (t->day < 1) {
    if (!AddMonths(t, -1)) return false;
    t->day = DaysInMonth(t->year, t->month);
  } else if (t->day > DaysInMonth(t->year, t->month)) {
    t->day = 1;
    if (!AddMonths(t, 1)) return false;
  }
  t->weekday = ((t->weekday + days) % 7 + 7) % 7;
  return true;
}

void AddSecondsOfDay(LocalTime* t, int seconds) {
  constexpr int kDay = 24 * 3600;
  const int s = ((t->hour * 3600 + t->minute * 60 + t->second + seconds) % kDay + kDay) % kDay;
  t->hour = s / 3600;
  t->minute = s / 60 % 60;
  t->second = s % 60;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// A wall time counted as if it were UTC, to compare wall times and find zone offsets.
int64_t WallSeconds(const LocalTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

// The instant that shows `wall` in the clock's zone. A wall time shown twice keeps the offset
// in force at `now` where it can, else takes the earlier; one that a gap skips becomes the
// first that exists after it, the moment the gap ends.
int64_t InstantOf(const Clock& zone, const LocalTime& wall, int64_t now) {
  const int64_t w = WallSeconds(wall);
  auto offsetAt = [&](int64_t instant) { return WallSeconds(zone.ToLocal(instant)) - instant; };
  const int64_t nowOffset = offsetAt(now);
  int64_t lo = INT64_MAX;
  int64_t hi = INT64_MIN;
  int64_t earliest = INT64_MAX;
  for (const int64_t near : {w - 86400, w, w + 86400}) {
    const int64_t candidate = w - offsetAt(near);
    lo = std::min(lo, candidate);
    hi = std::max(hi, candidate);
    if (WallSeconds(zone.ToLocal(candidate)) != w) continue;
    if (offsetAt(candidate) == nowOffset) return candidate;
    earliest = std::min(earliest, candidate);
  }
  if (earliest != INT64_MAX) return earliest;
  while (hi - lo > 1) {
    const int64_t mid = lo + (hi - lo) / 2;
    (WallSeconds(zone.ToLocal(mid)) >= w ? hi : lo) = mid;
  }
  return hi;
}

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

}  // namespace

bool StepDateTime(const LocalTime& t, const std::string& command, LocalTime* result) {
  if (command.size() < 2) return false;
  const char sign = command.back();
  if (sign != '+' && sign != '-') return false;
  const int step = sign == '+' ? 1 : -1;
  const std::string unit = command.substr(0, command.size() - 1);
  LocalTime r = t;
  // A date that is no date gets no step, rather than a table read out of range.
  if (r.month < 1 || r.month > 12 || r.year < 1) return false;
  if (unit == "year") {
    if (!AddMonths(&r, 12 * step)) return false;
  } else if (unit == "month") {
    if (!AddMonths(&r, step)) return false;
  } else if (unit == "day") {
    if (!AddDays(&r, step)) return false;
  } else if (unit == "hour") {
    AddSecondsOfDay(&r, 3600 * step);
  } else if (unit == "minute") {
    AddSecondsOfDay(&r, 60 * step);
  } else if (unit == "second") {
    AddSecondsOfDay(&r, step);
  } else {
    return false;
  }
  *result = r;
  return true;
}

bool StepSeconds(const Clock& zone, int64_t now, const std::string& command, int64_t* seconds) {
  const LocalTime here = zone.ToLocal(now);
  LocalTime wall;
  if (!StepDateTime(here, command, &wall)) return false;
  const std::string unit = command.substr(0, command.size() - 1);
  if (unit == "hour" || unit == "minute" || unit == "second") {
    const int64_t size = unit == "hour" ? 3600 : unit == "minute" ? 60 : 1;
    const int64_t moved = now + (command.back() == '+' ? size : -size);
    const LocalTime there = zone.ToLocal(moved);
    if (there.year == here.year && there.month == here.month && there.day == here.day) {
      *seconds = moved - now;
      return true;
    }
    // Past midnight the time wraps within its date: the wall time is placed below.
  }
  *seconds = InstantOf(zone, wall, now) - now;
  return true;
}

void UpdateClock(Program& p) {
  // One reading for all fields, so that they never show two different moments.
  const LocalTime t = p.os.clock.Now();
  const Clock& c = p.os.clock;
  SetText(p, kGroup, "year", std::to_string(t.year));
  SetText(p, kGroup, "month", TwoDigits(t.month));
  SetText(p, kGroup, "day", TwoDigits(t.day));
  SetText(p, kGroup, "second", TwoDigits(t.second));
  SetText(p, kGroup, "minute", TwoDigits(t.minute));
  SetText(p, kGroup, "hour", TwoDigits(t.hour));
  SetText(p, kGroup, "monthname", c.MonthName(t.month));
  SetText(p, kGroup, "weekdayname", c.WeekdayName(t.weekday));
  SetText(p, kGroup, "longtime", c.Format(t, DateTimeForm::LongTime));
  SetText(p, kGroup, "shorttime", c.Format(t, DateTimeForm::ShortTime));
  SetText(p, kGroup, "longdate", c.Format(t, DateTimeForm::LongDate));
  SetText(p, kGroup, "shortdate", c.Format(t, DateTimeForm::ShortDate));
}

void AdjustDateTime(Program& p, const std::string& command) {
  // One change at a time: a step pressed while the last one is still asked for does nothing.
  if (p.sysinfo.clockChanging) return;
  Clock& clock = p.os.clock;
  int64_t seconds = 0;
  if (!StepSeconds(clock, clock.Instant(), command, &seconds)) return;
  ClockChange change;
  {
    struct Busy {
      bool& b;
      explicit Busy(bool& v) : b(v) { b = true; }
      ~Busy() { b = false; }
    } busy(p.sysinfo.clockChanging);
    // The service may ask the user first: the window goes on meanwhile.
    const std::unique_ptr<ClockRequest> request = clock.StepBy(seconds);
    while (!request->Poll()) Yield(p, true);
    change = request->Answer();
  }
  if (change.ok) {
    SetText(p, kGroup, "status", "");
    UpdateClock(p);
    return;
  }
  SetText(p, kGroup, "status", change.reason);
  // Without an answer the clock may have moved: show it as it is.
  if (change.unknown) UpdateClock(p);
  throw std::runtime_error("cannot set the clock: " + change.detail);
}

}  // namespace qv
