// Events and timers of the window's thread on SDL2.
#pragma once

#include <cstdint>
#include <deque>

#include "platform/Events.h"
#include "platform/common/TimerTable.h"

union SDL_Event;

namespace qv {

class SdlDisplay;

class SdlEvents : public EventSource {
 public:
  explicit SdlEvents(SdlDisplay& display);

  bool PollEvent(Event* e) override;
  void WaitEvent(Event* e) override;
  void SetTimer(int timer, int intervalMs, bool enabled) override;
  bool TimerEnabled(int timer) const override;
  void Sleep(int ms) override;

  // Queues an event ahead of the window system's (headless runs, the probe). A pointer event
  // on a headless display also moves the remembered cursor to its window position.
  void PushEvent(const Event& e);

 private:
  bool Translate(const SDL_Event& in, Event* out) const;

  SdlDisplay& display_;
  std::deque<Event> queue_;
  TimerTable timers_;
  PumpThrottle throttle_;
};

}  // namespace qv
