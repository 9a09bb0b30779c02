// The computer's clock in local time, and dates and times in the user's regional formats.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

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
  // No answer came: the clock may or may not have moved.
  bool unknown = false;
};

// A change of the clock on its way. Setting the clock may take as long as the user takes to
// authorise it, so the caller polls and keeps its window alive in between.
class ClockRequest {
 public:
  // Dropping an unanswered request stops waiting for it; the change may still happen.
  virtual ~ClockRequest() = default;
  // Lets the request go on without blocking; true once it has its answer (or gave up waiting).
  virtual bool Poll() = 0;
  // Only once Poll said true.
  virtual ClockChange Answer() const = 0;
};

enum class DateTimeForm { LongTime, ShortTime, LongDate, ShortDate };

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual int64_t Instant() = 0;
  // The local wall time of an instant.
  virtual LocalTime ToLocal(int64_t instant) const = 0;
  LocalTime Now() { return ToLocal(Instant()); }

  // Moves the clock by `seconds` from whatever it shows when the change is made, so a late
  // answer does not leave it late.
  virtual std::unique_ptr<ClockRequest> StepBy(int64_t seconds) = 0;

  virtual std::string MonthName(int month) const = 0;      // 1..12
  virtual std::string WeekdayName(int weekday) const = 0;  // 0 Sunday .. 6
  virtual std::string Format(const LocalTime& t, DateTimeForm form) const = 0;
};

// A request that was answered when it was made.
class AnsweredClockRequest : public ClockRequest {
 public:
  explicit AnsweredClockRequest(ClockChange answer) : answer_(std::move(answer)) {}
  bool Poll() override { return true; }
  ClockChange Answer() const override { return answer_; }

 private:
  ClockChange answer_;
};

}  // namespace qv
