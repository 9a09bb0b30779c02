#include "shell/frmMain.h"

#include <cmath>
#include <exception>

#include "commands/modDispatch.h"
#include "shell/Convert.h"
#include "shell/Program.h"
#include "shell/modDeclares.h"
#include "widgets/modButton.h"

namespace qv {

namespace {

// Runs one step of a handler whose errors are ignored, so the window stays usable.
template <typename F>
void IgnoringErrors(Program& p, F&& step) {
  try {
    step();
  } catch (const std::exception& e) {
    p.os.diag.Warn(std::string("a command failed: ") + e.what());
  }
}

}  // namespace

void OnPointerDown(Program& p, int /*button*/, int /*shift*/, float x, float y) {
  ButtonPointerDown(p, x, y);
}

void OnPointerUp(Program& p, int /*button*/, int /*shift*/, float x, float y) {
  int index = -1;
  IgnoringErrors(p, [&] { index = ButtonPointerUp(p, x, y); });
  if (index >= 0) IgnoringErrors(p, [&] { DispatchCommand(p, index); });
}

void OnDoubleClick(Program& p) {
  int cx = 0;
  int cy = 0;
  int wx = 0;
  int wy = 0;
  p.os.display.CursorPosition(&cx, &cy);
  p.os.display.WindowPosition(&wx, &wy);
  const double x = RoundHalfEven(cx - wx);
  const double y = RoundHalfEven(cy - wy);
  (void)x;
  (void)y;
}

void OnRepaint(Program& p) { PresentBackBuffer(p, true); }

void OnCpuTimerTick(Program& /*p*/) {}

void OnClockTimerTick(Program& /*p*/) {}

void HandleEvent(Program& p, const Event& e) {
  switch (e.type) {
    case EventType::PointerDown:
      OnPointerDown(p, e.button, e.shift, e.x, e.y);
      break;
    case EventType::PointerUp:
      OnPointerUp(p, e.button, e.shift, e.x, e.y);
      break;
    case EventType::DoubleClick:
      OnDoubleClick(p);
      break;
    case EventType::Repaint:
      OnRepaint(p);
      break;
    case EventType::TimerTick:
      if (e.timer == kCpuTimer) OnCpuTimerTick(p);
      if (e.timer == kClockTimer) OnClockTimerTick(p);
      break;
    case EventType::Quit:
      ExitProgram(p);
  }
}

}  // namespace qv
