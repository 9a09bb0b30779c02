// Events and timers of the window's thread on Windows: the window's messages, pumped when the
// core yields or waits, and the two timers on the same rhythm as on Linux.
#pragma once

#include <deque>

#include "platform/Events.h"
#include "platform/common/TimerTable.h"
#include "platform/win32/WinApi.h"

namespace qv {

class Win32Display;

class Win32Events : public EventSource {
 public:
  explicit Win32Events(Win32Display& display);
  ~Win32Events() override;
  Win32Events(const Win32Events&) = delete;
  Win32Events& operator=(const Win32Events&) = delete;

  bool PollEvent(Event* e) override;
  void WaitEvent(Event* e) override;
  void SetTimer(int timer, int intervalMs, bool enabled) override;
  bool TimerEnabled(int timer) const override;
  void Sleep(int ms) override;

  // Queues an event ahead of the window system's (headless runs, the probe). A pointer event
  // on a headless display also moves the remembered cursor to its window position.
  void PushEvent(const Event& e);

 private:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void Pump();

  Win32Display& display_;
  std::deque<Event> queue_;
  TimerTable timers_;
  PumpThrottle throttle_;
  int buttonsDown_ = 0;  // the pointer is captured while any is down
};

}  // namespace qv
