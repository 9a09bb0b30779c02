#include "platform/sdl/SdlEvents.h"

#include <SDL.h>

#include <algorithm>

#include "platform/sdl/SdlDisplay.h"

namespace qv {

SdlEvents::SdlEvents(SdlDisplay& display) : display_(display) {}

void SdlEvents::PushEvent(const Event& e) {
  bool pointer = e.type == EventType::PointerDown || e.type == EventType::PointerUp ||
                 e.type == EventType::DoubleClick;
  if (pointer && display_.headless()) {
    int left = 0, top = 0;
    display_.WindowPosition(&left, &top);
    display_.MoveCursor(left + int(e.x), top + int(e.y));
  }
  queue_.push_back(e);
}

bool SdlEvents::Translate(const SDL_Event& in, Event* out) const {
  switch (in.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      switch (in.button.button) {
        case SDL_BUTTON_LEFT:
          out->button = 1;
          break;
        case SDL_BUTTON_RIGHT:
          out->button = 2;
          break;
        case SDL_BUTTON_MIDDLE:
          out->button = 4;
          break;
        default:
          return false;
      }
      SDL_Keymod mod = SDL_GetModState();
      out->shift =
          (mod & KMOD_SHIFT ? 1 : 0) | (mod & KMOD_CTRL ? 2 : 0) | (mod & KMOD_ALT ? 4 : 0);
      out->x = float(in.button.x);
      out->y = float(in.button.y);
      if (in.type == SDL_MOUSEBUTTONUP) {
        out->type = EventType::PointerUp;
      } else {
        // The window system reports every second press of a series as the double click
        // (down, up, double click, up); a third press starts over with a plain down.
        out->type = in.button.clicks >= 2 && in.button.clicks % 2 == 0 ? EventType::DoubleClick
                                                                       : EventType::PointerDown;
      }
      return true;
    }
    case SDL_WINDOWEVENT:
      switch (in.window.event) {
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SHOWN:
          out->type = EventType::Repaint;
          return true;
        default:
          return false;
      }
    case SDL_QUIT:
      out->type = EventType::Quit;
      return true;
    default:
      return false;
  }
}

bool SdlEvents::PollEvent(Event* e) {
  if (!queue_.empty()) {
    *e = queue_.front();
    queue_.pop_front();
    return true;
  }
  if (throttle_.Due(SDL_GetTicks64())) SDL_PumpEvents();
  SDL_Event in;
  while (SDL_PeepEvents(&in, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
    *e = Event{};
    if (Translate(in, e)) return true;
  }
  // Timer ticks come last, as the window system delivers them only when nothing else waits.
  if (timers_.TakeDueTick(SDL_GetTicks64(), e)) return true;
  // A long function polls after every few steps: one upload per frame is what the eye sees,
  // and an upload per poll costs more than the work (a copy yields twice per file).
  display_.FlushIfDue();
  return false;
}

void SdlEvents::WaitEvent(Event* e) {
  for (;;) {
    if (PollEvent(e)) return;
    display_.Flush();  // nothing is left undrawn while the program waits
    int64_t wait = timers_.MsToNext(SDL_GetTicks64());
    SDL_Event in;
    int got = wait < 0 ? SDL_WaitEvent(&in)
                       : SDL_WaitEventTimeout(&in, int(std::min<int64_t>(wait, 1 << 30)));
    if (got) {
      *e = Event{};
      if (Translate(in, e)) return;
    } else if (wait < 0) {
      // No video subsystem to wait on and no timer: nothing can ever arrive.
      *e = Event{};
      e->type = EventType::Quit;
      return;
    }
  }
}

void SdlEvents::SetTimer(int timer, int intervalMs, bool enabled) {
  timers_.Set(timer, intervalMs, enabled, SDL_GetTicks64());
}

bool SdlEvents::TimerEnabled(int timer) const {
  return timers_.Enabled(timer);
}

void SdlEvents::Sleep(int ms) {
  if (ms > 0) SDL_Delay(Uint32(ms));
}

}  // namespace qv
