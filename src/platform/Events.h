// Event and timer services of the window's one thread.
#pragma once

#include <cstdint>

namespace qv {

enum class EventType { PointerDown, PointerUp, DoubleClick, Repaint, TimerTick, Quit };

// Timer identities of the main window.
enum TimerId { kCpuTimer = 0, kClockTimer = 1, kTimerCount = 2 };

struct Event {
  EventType type = EventType::Repaint;
  int button = 1;  // 1 left, 2 right, 4 middle (the mouse-button values of the Windows events)
  int shift = 0;
  float x = 0;  // window pixels (pointer events)
  float y = 0;
  int timer = 0;  // TimerId (tick events)
};

class EventSource {
 public:
  virtual ~EventSource() = default;
  // Takes the next pending event without blocking; false when none is pending.
  virtual bool PollEvent(Event* e) = 0;
  // Blocks until an event is pending (timer deadlines included) and takes it.
  virtual void WaitEvent(Event* e) = 0;
  // Millisecond timers, delivered as TimerTick events on this thread.
  virtual void SetTimer(int timer, int intervalMs, bool enabled) = 0;
  virtual bool TimerEnabled(int timer) const = 0;
  virtual void Sleep(int ms) = 0;
};

}  // namespace qv
