// The machine's clock in local time, and the user's regional names and forms of dates and times.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Clock.h"

namespace qv {

struct Win32ClockOptions {
  // The locale whose names and forms are used ("de-DE"); empty: the user's own.
  std::string locale;
  // Sets the clock to a UTC time given in 100 ns units since 1601 and returns 0 or the system's
  // error code. Empty: SetSystemTime with the system-time privilege enabled for the call.
  std::function<unsigned long(int64_t)> setUtc;
};

class Win32Clock : public Clock {
 public:
  explicit Win32Clock(Win32ClockOptions options = {});

  int64_t Instant() override;
  LocalTime ToLocal(int64_t instant) const override;
  // Answered at once: Windows grants or refuses the change without asking anyone.
  std::unique_ptr<ClockRequest> StepBy(int64_t seconds) override;

  std::string MonthName(int month) const override;
  std::string WeekdayName(int weekday) const override;
  // Empty for a date the system cannot write (before 1601, a 31 February).
  std::string Format(const LocalTime& t, DateTimeForm form) const override;

 private:
  std::wstring LocaleInfo(unsigned long type) const;
  const wchar_t* LocaleName() const;

  Win32ClockOptions options_;
  std::wstring locale_;
};

}  // namespace qv
