// Month and weekday names and the date and time forms of a locale, for the clocks.
#pragma once

#include <locale.h>

#include <string>

#include "platform/Clock.h"

namespace qv {

class LocaleClock : public Clock {
 public:
  // The names and forms of `locale` (owned by the clock); without one, of the global locale as
  // it is now (after setlocale(LC_ALL, "")).
  explicit LocaleClock(locale_t locale = nullptr);
  ~LocaleClock() override;
  LocaleClock(const LocaleClock&) = delete;
  LocaleClock& operator=(const LocaleClock&) = delete;

  std::string MonthName(int month) const override;
  std::string WeekdayName(int weekday) const override;
  std::string Format(const LocalTime& t, DateTimeForm form) const override;

 private:
  std::string Strftime(const std::string& format, const LocalTime& t) const;
  locale_t locale_;
  std::string longTime_, shortTime_, longDate_, shortDate_;  // strftime formats
};

// The broken-down time of a local time, daylight saving time left to mktime.
struct tm TmOf(const LocalTime& t);

// The forms taken from a locale's own formats (exposed for tests).
// The time format without its seconds ("%I:%M:%S %p" gives "%I:%M %p").
std::string TimeFormatWithoutSeconds(const std::string& timeFormat);
// The date part of a date-and-time format, with full weekday and month names
// ("%a %d %b %Y %r %Z" gives "%A %-d %B %Y").
std::string LongDateFormat(const std::string& dateTimeFormat);

}  // namespace qv
