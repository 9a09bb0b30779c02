// The computer's clock in local time, and dates and times in the user's regional formats.
#pragma once

#include <string>

namespace qv {

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 4;  // 0 Sunday .. 6 Saturday
};

// What became of a request to set the clock.
struct ClockChange {
  bool ok = false;
  std::string reason;  // short, for the screen
  std::string detail;  // what the system said, for the log
};

enum class DateTimeForm { LongTime, ShortTime, LongDate, ShortDate };

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Sets the clock to a local time (its weekday is not looked at).
  virtual ClockChange Set(const LocalTime& t) = 0;

  virtual std::string MonthName(int month) const = 0;      // 1..12
  virtual std::string WeekdayName(int weekday) const = 0;  // 0 Sunday .. 6
  virtual std::string Format(const LocalTime& t, DateTimeForm form) const = 0;
};

}  // namespace qv
