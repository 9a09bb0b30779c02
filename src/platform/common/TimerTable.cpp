#include "platform/common/TimerTable.h"

#include <algorithm>

namespace qv {

void TimerTable::Set(int timer, int intervalMs, bool enabled, uint64_t nowMs) {
  if (timer < 0 || timer >= kTimerCount) return;
  Timer& t = timers_[timer];
  bool restart = enabled && (!t.enabled || t.interval != intervalMs);
  t.interval = intervalMs;
  t.enabled = enabled;
  if (restart) t.deadline = nowMs + uint64_t(std::max(intervalMs, 0));
}

bool TimerTable::Enabled(int timer) const {
  return timer >= 0 && timer < kTimerCount && timers_[timer].enabled;
}

bool TimerTable::TakeDueTick(uint64_t nowMs, Event* e) {
  for (int i = 0; i < kTimerCount; ++i) {
    int id = (next_ + i) % kTimerCount;
    Timer& t = timers_[id];
    if (!t.enabled || t.interval <= 0 || nowMs < t.deadline) continue;
    // A timer that fell behind ticks once and then keeps its rhythm from now.
    t.deadline += uint64_t(t.interval);
    if (t.deadline <= nowMs) t.deadline = nowMs + uint64_t(t.interval);
    next_ = (id + 1) % kTimerCount;
    *e = Event{};
    e->type = EventType::TimerTick;
    e->timer = id;
    return true;
  }
  return false;
}

int64_t TimerTable::MsToNext(uint64_t nowMs) const {
  int64_t best = -1;
  for (const Timer& t : timers_) {
    if (!t.enabled || t.interval <= 0) continue;
    int64_t wait = t.deadline > nowMs ? int64_t(t.deadline - nowMs) : 0;
    if (best < 0 || wait < best) best = wait;
  }
  return best;
}

}  // namespace qv
