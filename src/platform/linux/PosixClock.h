// The machine's clock: read in local time, set through the system's time service as a desktop
// does, or directly where no such service answers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/LocaleClock.h"

namespace qv {

struct PosixClockOptions {
  // Whether setting is tried at all (the probe only reads the machine's clock).
  bool maySet = true;
  // The bus where org.freedesktop.timedate1 is asked; empty: the system bus.
  std::string busAddress;
  // Moves the clock by this many microseconds where no time service answers; returns 0 or an
  // errno value. CLOCK_REALTIME through clock_settime when empty.
  std::function<int(int64_t)> stepRealtime;
  // How long an answer of the time service or the helper is waited for.
  int timeoutMs = 25000;
  // Where no time service answers, root steps the clock itself and anyone else runs this
  // command with the wanted time (seconds since 1970, UTC) after it. Empty: quorvin-helper's
  // set-clock job, through pkexec.
  std::vector<std::string> helperCommand = {};
  std::optional<bool> asRoot = std::nullopt;  // nothing: whether the program runs as root
};

class PosixClock : public LocaleClock {
 public:
  explicit PosixClock(PosixClockOptions options = {}, locale_t locale = nullptr);

  int64_t Instant() override;
  LocalTime ToLocal(int64_t instant) const override;
  // Asks the time service without waiting: the request's Poll runs GLib's default main context.
  std::unique_ptr<ClockRequest> StepBy(int64_t seconds) override;

 private:
  PosixClockOptions options_;
};

// A clock that starts at a given local time and moves only when told or set: the probe's
// --clock and the tests'. It has no time zone, so every local time exists exactly once.
class FixedClock : public LocaleClock {
 public:
  explicit FixedClock(const LocalTime& start, locale_t locale = nullptr);

  int64_t Instant() override { return seconds_; }
  LocalTime ToLocal(int64_t instant) const override;
  std::unique_ptr<ClockRequest> StepBy(int64_t seconds) override;

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
