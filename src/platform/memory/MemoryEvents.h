// The tests' event source: a queue the test fills, timers that only remember their setting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "platform/Events.h"

namespace qv {

class MemoryEvents : public EventSource {
 public:
  void Push(const Event& e) { queue_.push_back(e); }
  size_t Pending() const { return queue_.size(); }

  bool PollEvent(Event* e) override;
  // An empty queue can never fill again: the program is told to quit.
  void WaitEvent(Event* e) override;
  void SetTimer(int timer, int intervalMs, bool enabled) override;
  bool TimerEnabled(int timer) const override;
  void Sleep(int ms) override;

  int TimerInterval(int timer) const;
  uint64_t SleepCalls() const { return sleepCalls_; }
  uint64_t SleptMs() const { return sleptMs_; }

 private:
  std::deque<Event> queue_;
  int interval_[kTimerCount] = {};
  bool enabled_[kTimerCount] = {};
  uint64_t sleepCalls_ = 0;
  uint64_t sleptMs_ = 0;
};

}  // namespace qv
