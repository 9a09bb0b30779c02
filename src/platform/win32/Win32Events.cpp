#include "platform/win32/Win32Events.h"

#include <algorithm>

#include "platform/win32/Win32Display.h"

namespace qv {
namespace {

uint64_t NowMs() {
  return Win32Display::NowMs();
}

}  // namespace

Win32Events::Win32Events(Win32Display& display) : display_(display) {
  display_.SetMessageHook([this](UINT message, WPARAM wParam, LPARAM lParam) {
    return OnMessage(message, wParam, lParam);
  });
}

Win32Events::~Win32Events() {
  display_.SetMessageHook(nullptr);
}

void Win32Events::PushEvent(const Event& e) {
  bool pointer = e.type == EventType::PointerDown || e.type == EventType::PointerUp ||
                 e.type == EventType::DoubleClick;
  if (pointer && display_.headless()) {
    int left = 0, top = 0;
    display_.WindowPosition(&left, &top);
    display_.MoveCursor(left + int(e.x), top + int(e.y));
  }
  queue_.push_back(e);
}

bool Win32Events::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  Event e;
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      e.type = EventType::PointerDown;
      break;
    // Windows reports every second press of a series as the double click (down, up, double
    // click, up); a third press starts over with a plain down. Touch arrives the same way.
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      e.type = EventType::DoubleClick;
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      e.type = EventType::PointerUp;
      break;
    case WM_PAINT:
      e.type = EventType::Repaint;
      queue_.push_back(e);
      return false;  // the display has painted
    case WM_CLOSE:
      e.type = EventType::Quit;
      queue_.push_back(e);
      return true;
    case WM_CAPTURECHANGED:
      // Taken by another window (a system menu, a switch of programs): its releases go there.
      if (reinterpret_cast<HWND>(lParam) != display_.window()) buttonsDown_ = 0;
      return false;
    default:
      return false;
  }
  switch (message) {
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONUP:
      e.button = 2;
      break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MBUTTONUP:
      e.button = 4;
      break;
    default:
      e.button = 1;
  }
  e.shift = (wParam & MK_SHIFT ? 1 : 0) | (wParam & MK_CONTROL ? 2 : 0) |
            (GetKeyState(VK_MENU) < 0 ? 4 : 0);
  // Signed: a captured pointer may be left of or above the window.
  e.x = float(static_cast<short>(LOWORD(lParam)));
  e.y = float(static_cast<short>(HIWORD(lParam)));
  // The release of a press reaches the window even where the pointer left it.
  if (e.type == EventType::PointerUp) {
    buttonsDown_ &= ~e.button;
    if (!buttonsDown_ && GetCapture() == display_.window()) ReleaseCapture();
  } else {
    if (!buttonsDown_ && display_.window()) SetCapture(display_.window());
    buttonsDown_ |= e.button;
  }
  queue_.push_back(e);
  return true;
}

void Win32Events::Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      Event e;
      e.type = EventType::Quit;
      queue_.push_back(e);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

bool Win32Events::PollEvent(Event* e) {
  if (queue_.empty() && throttle_.Due(NowMs())) Pump();
  if (!queue_.empty()) {
    *e = queue_.front();
    queue_.pop_front();
    return true;
  }
  // Timer ticks come last, as the window system delivers them only when nothing else waits.
  if (timers_.TakeDueTick(NowMs(), e)) return true;
  // A long function polls after every few steps: one upload per frame is what the eye sees,
  // and an upload per poll costs more than the work (a copy yields twice per file).
  display_.FlushIfDue();
  return false;
}

void Win32Events::WaitEvent(Event* e) {
  for (;;) {
    if (PollEvent(e)) return;
    display_.Flush();  // nothing is left undrawn while the program waits
    const int64_t wait = timers_.MsToNext(NowMs());
    if (wait < 0 && !display_.window()) {
      // No window to wait on and no timer: nothing can ever arrive.
      *e = Event{};
      e->type = EventType::Quit;
      return;
    }
    const DWORD ms = wait < 0 ? INFINITE : DWORD(std::min<int64_t>(wait, 1 << 30));
    MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    Pump();
  }
}

void Win32Events::SetTimer(int timer, int intervalMs, bool enabled) {
  timers_.Set(timer, intervalMs, enabled, NowMs());
}

bool Win32Events::TimerEnabled(int timer) const {
  return timers_.Enabled(timer);
}

void Win32Events::Sleep(int ms) {
  if (ms > 0) ::Sleep(DWORD(ms));
}

}  // namespace qv
