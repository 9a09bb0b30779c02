// The tests' clock: starts at a given local time and moves only when told or stepped. It has no
// time zone, and it names months and days and writes dates in the "C" locale's forms.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Clock.h"

namespace qv {

class MemoryClock : public Clock {
 public:
  explicit MemoryClock(const LocalTime& start);

  int64_t Instant() override { return seconds_; }
  LocalTime ToLocal(int64_t instant) const override;
  std::unique_ptr<ClockRequest> StepBy(int64_t seconds) override;
  std::string MonthName(int month) const override;
  std::string WeekdayName(int weekday) const override;
  std::string Format(const LocalTime& t, DateTimeForm form) const override;

  void Advance(int64_t seconds) { seconds_ += seconds; }
  // Every later step fails with this answer (ok = false), or succeeds again with ok = true.
  void SetAnswer(const ClockChange& answer) { answer_ = answer; }
  int SetCalls() const { return setCalls_; }

 private:
  int64_t seconds_;
  ClockChange answer_{true, "", "", false};
  int setCalls_ = 0;
};

}  // namespace qv
