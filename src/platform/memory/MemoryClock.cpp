#include "platform/memory/MemoryClock.h"

#include <cstdio>

namespace qv {
namespace {

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

std::string Printed(const char* format, int a, int b, int c) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, a, b, c);
  return buf;
}

}  // namespace

MemoryClock::MemoryClock(const LocalTime& start)
    : seconds_(DaysFromCivil(start.year, start.month, start.day) * 86400 + start.hour * 3600 +
               start.minute * 60 + start.second) {}

LocalTime MemoryClock::ToLocal(int64_t instant) const {
  const int64_t days = FloorDiv(instant, 86400);
  const int64_t rest = instant - days * 86400;
  LocalTime t;
  CivilFromDays(days, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(rest / 3600);
  t.minute = static_cast<int>(rest / 60 % 60);
  t.second = static_cast<int>(rest % 60);
  t.weekday = static_cast<int>(FloorDiv(days + 4, 7) * -7 + days + 4);  // 1970-01-01: Thursday
  return t;
}

std::unique_ptr<ClockRequest> MemoryClock::StepBy(int64_t seconds) {
  ++setCalls_;
  if (!answer_.ok) return std::make_unique<AnsweredClockRequest>(answer_);
  seconds_ += seconds;
  return std::make_unique<AnsweredClockRequest>(ClockChange{true, "", "", false});
}

std::string MemoryClock::MonthName(int month) const {
  static const char* const kNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};
  return month >= 1 && month <= 12 ? kNames[month - 1] : "?";
}

std::string MemoryClock::WeekdayName(int weekday) const {
  static const char* const kNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                       "Thursday", "Friday", "Saturday"};
  return weekday >= 0 && weekday <= 6 ? kNames[weekday] : "?";
}

std::string MemoryClock::Format(const LocalTime& t, DateTimeForm form) const {
  switch (form) {
    case DateTimeForm::LongTime:
      return Printed("%02d:%02d:%02d", t.hour, t.minute, t.second);
    case DateTimeForm::ShortTime:
      return Printed("%02d:%02d", t.hour, t.minute, 0);
    case DateTimeForm::LongDate:
      return WeekdayName(t.weekday) + " " + MonthName(t.month) + " " +
             Printed("%d %d", t.day, t.year, 0);
    case DateTimeForm::ShortDate:
      return Printed("%02d/%02d/%02d", t.month, t.day, ((t.year % 100) + 100) % 100);
  }
  return std::string();
}

}  // namespace qv
