// The main window's two millisecond timers, whatever delivers their ticks: when each is due and
// in which order two due ones tick.
#pragma once

#include <cstdint>

#include "platform/Events.h"

namespace qv {

class TimerTable {
 public:
  void Set(int timer, int intervalMs, bool enabled, uint64_t nowMs);
  bool Enabled(int timer) const;
  // The tick of a timer due at `nowMs`, which then counts from its next deadline; false when
  // none is due.
  bool TakeDueTick(uint64_t nowMs, Event* e);
  // Milliseconds until the next timer is due (0: one is); -1 when no timer runs.
  int64_t MsToNext(uint64_t nowMs) const;

 private:
  struct Timer {
    int interval = 0;
    bool enabled = false;
    uint64_t deadline = 0;
  };
  Timer timers_[kTimerCount];
  int next_ = 0;  // where the search for due timers starts, so both get their turn
};

// Asking the window system costs a round of system calls: a long function polls thousands of
// times a second, and once a millisecond is as quick as any hand.
class PumpThrottle {
 public:
  bool Due(uint64_t nowMs) {
    if (pumped_ && nowMs == lastMs_) return false;
    pumped_ = true;
    lastMs_ = nowMs;
    return true;
  }

 private:
  bool pumped_ = false;
  uint64_t lastMs_ = 0;
};

}  // namespace qv
