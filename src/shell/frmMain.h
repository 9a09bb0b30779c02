// The main window's event handlers.
#pragma once

#include "platform/Events.h"

namespace qv {

struct Program;

void OnPointerDown(Program& p, int button, int shift, float x, float y);
void OnPointerUp(Program& p, int button, int shift, float x, float y);
void OnDoubleClick(Program& p);
void OnRepaint(Program& p);
void OnCpuTimerTick(Program& p);
void OnClockTimerTick(Program& p);

// Hands one platform event to its handler. A quit event ends the program (ExitProgram).
void HandleEvent(Program& p, const Event& e);
// HandleEvent for the top-level loops: no handler may take the window down with it, so an
// error is reported and the loop goes on.
void HandleEventSafely(Program& p, const Event& e);

}  // namespace qv
