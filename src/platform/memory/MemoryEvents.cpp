#include "platform/memory/MemoryEvents.h"

namespace qv {

bool MemoryEvents::PollEvent(Event* e) {
  if (queue_.empty()) return false;
  *e = queue_.front();
  queue_.pop_front();
  return true;
}

void MemoryEvents::WaitEvent(Event* e) {
  if (PollEvent(e)) return;
  *e = Event{};
  e->type = EventType::Quit;
}

void MemoryEvents::SetTimer(int timer, int intervalMs, bool enabled) {
  if (timer < 0 || timer >= kTimerCount) return;
  interval_[timer] = intervalMs;
  enabled_[timer] = enabled;
}

bool MemoryEvents::TimerEnabled(int timer) const {
  return timer >= 0 && timer < kTimerCount && enabled_[timer];
}

int MemoryEvents::TimerInterval(int timer) const {
  return timer >= 0 && timer < kTimerCount ? interval_[timer] : 0;
}

void MemoryEvents::Sleep(int ms) {
  ++sleepCalls_;
  if (ms > 0) sleptMs_ += uint64_t(ms);
}

}  // namespace qv
