// The machine's clock: read in local time, set through the system's time service as a desktop
// does, or directly where no such service answers.
#pragma once

#include <time.h>

#include <functional>
#include <string>

#include "platform/posix/LocaleClock.h"

namespace qv {

struct PosixClockOptions {
  // Whether setting is tried at all (the probe only reads the machine's clock).
  bool maySet = true;
  // The bus where org.freedesktop.timedate1 is asked; empty: the system bus.
  std::string busAddress;
  // Sets the clock where no time service answers; returns 0 or an errno value.
  // clock_settime(CLOCK_REALTIME) when empty.
  std::function<int(const timespec&)> setRealtime;
};

class PosixClock : public LocaleClock {
 public:
  explicit PosixClock(PosixClockOptions options = {}, locale_t locale = nullptr);

  LocalTime Now() override;
  ClockChange Set(const LocalTime& t) override;

 private:
  PosixClockOptions options_;
};

// A clock that starts at a given local time and moves only when told or set: the probe's
// --clock and the tests'. It has no time zone, so every local time exists exactly once.
class FixedClock : public LocaleClock {
 public:
  explicit FixedClock(const LocalTime& start, locale_t locale = nullptr);

  LocalTime Now() override;
  ClockChange Set(const LocalTime& t) override;

  void Advance(int64_t seconds) { seconds_ += seconds; }
  // Every later Set fails with this answer (ok = false), or succeeds again with ok = true.
  void SetAnswer(const ClockChange& answer) { answer_ = answer; }
  int SetCalls() const { return setCalls_; }

 private:
  int64_t seconds_;
  ClockChange answer_{true, "", ""};
  int setCalls_ = 0;
};

}  // namespace qv
