#include "shell/frmMain.h"

#include <exception>

#include "commands/modDispatch.h"
#include "core/Convert.h"
#include "core/Program.h"
#include "shell/modDeclares.h"
#include "skin/modForm.h"
#include "widgets/modButton.h"
#include "widgets/modDriveList.h"
#include "widgets/modListbox.h"

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

void ReactToList(Program& p, const ReactionTable<int16_t>& table, int box) {
  const ListElement& list = p.tables.ListBoxes[box];
  if (list.Commands.empty()) return;
  const CommandPair key = list.Commands[0];
  table.Run(p, key.Group, key.Name, static_cast<int16_t>(box));
}

void RunTimerReactions(Program& p, int timer) {
  const auto it = p.reactions.timerTicked.find(timer);
  if (it == p.reactions.timerTicked.end()) return;
  const auto reactions = it->second;
  for (const auto& reaction : reactions) reaction(p);
}

// False when the screen changed since the last press (a release or double click there would be
// a ghost tap on the new screen).
bool SameScreenAsPress(const Program& p) {
  return p.shell.pressScreen < 0 || p.shell.pressScreen == p.skin.screenChanges;
}

}  // namespace

void OnPointerDown(Program& p, int /*button*/, int /*shift*/, float x, float y) {
  p.shell.pressScreen = p.skin.screenChanges;
  ButtonPointerDown(p, x, y);
  const int box = FirstContaining(p.tables.ListBoxes, x, y);
  if (box >= 0) {
    ListPointerDown(p, p.tables.ListBoxes[box], y);
    ReactToList(p, p.reactions.listClicked, box);
  }
  const int drives = FirstContaining(p.tables.DriveLists, x, y);
  if (drives >= 0) ListPointerDown(p, p.tables.DriveLists[drives], y);
}

void OnPointerUp(Program& p, int button, int /*shift*/, float x, float y) {
  if (!SameScreenAsPress(p)) {
    // The press's look and list tracking belong to the old screen's tables, gone by now.
    p.shell.PressedButton = -1;
    return;
  }
  int index = -1;
  IgnoringErrors(p, [&] { index = ButtonPointerUp(p, x, y); });
  // A command that changed the screen ends the release: the new screen never saw its press.
  if (index >= 0) IgnoringErrors(p, [&] { DispatchCommand(p, index); });
  if (!SameScreenAsPress(p)) return;
  IgnoringErrors(p, [&] {
    const int box = FirstContaining(p.tables.ListBoxes, x, y);
    if (box >= 0) ListPointerUp(p.tables.ListBoxes[box], button);
  });
  IgnoringErrors(p, [&] {
    const int drives = FirstContaining(p.tables.DriveLists, x, y);
    if (drives >= 0) DriveListClicked(p, static_cast<int16_t>(drives));
  });
}

void OnDoubleClick(Program& p) {
  if (!SameScreenAsPress(p)) return;
  int cx = 0;
  int cy = 0;
  int wx = 0;
  int wy = 0;
  p.os.display.CursorPosition(&cx, &cy);
  p.os.display.WindowPosition(&wx, &wy);
  const int box =
      FirstContaining(p.tables.ListBoxes, RoundHalfEven(cx - wx), RoundHalfEven(cy - wy));
  if (box >= 0) ReactToList(p, p.reactions.listOpened, box);
}

void OnRepaint(Program& p) {
  PresentBackBuffer(p, true);
}

void OnCpuTimerTick(Program& p) {
  RunTimerReactions(p, kCpuTimer);
}

void OnClockTimerTick(Program& p) {
  RunTimerReactions(p, kClockTimer);
}

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

void HandleEventSafely(Program& p, const Event& e) {
  try {
    HandleEvent(p, e);
  } catch (const std::exception& ex) {
    p.os.diag.Warn(std::string("an operation failed: ") + ex.what());
  }
}

}  // namespace qv
