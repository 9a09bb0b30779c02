#include "sysinfo/modDateTime.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "core/Program.h"
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

void AddMonths(LocalTime* t, int months) {
  const int index = t->year * 12 + (t->month - 1) + months;
  t->year = index / 12;
  t->month = index % 12 + 1;
  t->day = std::min(t->day, DaysInMonth(t->year, t->month));
}

void AddDays(LocalTime* t, int days) {
  t->day += days;
  if (t->day < 1) {
    AddMonths(t, -1);
    t->day = DaysInMonth(t->year, t->month);
  } else if (t->day > DaysInMonth(t->year, t->month)) {
    t->day = 1;
    AddMonths(t, 1);
  }
  t->weekday = ((t->weekday + days) % 7 + 7) % 7;
}

void AddSecondsOfDay(LocalTime* t, int seconds) {
  constexpr int kDay = 24 * 3600;
  const int s = ((t->hour * 3600 + t->minute * 60 + t->second + seconds) % kDay + kDay) % kDay;
  t->hour = s / 3600;
  t->minute = s / 60 % 60;
  t->second = s % 60;
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
  if (unit == "year") {
    AddMonths(&r, 12 * step);
  } else if (unit == "month") {
    AddMonths(&r, step);
  } else if (unit == "day") {
    AddDays(&r, step);
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
  LocalTime target;
  if (!StepDateTime(p.os.clock.Now(), command, &target)) return;
  const ClockChange change = p.os.clock.Set(target);
  if (!change.ok) {
    SetText(p, kGroup, "status", change.reason);
    throw std::runtime_error("cannot set the clock: " + change.detail);
  }
  SetText(p, kGroup, "status", "");
  UpdateClock(p);
}

}  // namespace qv
