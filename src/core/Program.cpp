#include "core/Program.h"

namespace qv {

void ExitProgram(Program& p) {
  p.os.events.SetTimer(kClockTimer, kClockTimerInterval, false);
  p.os.events.SetTimer(kCpuTimer, kCpuTimerInterval, false);
  p.sysinfo.cpu.reset();
  p.skin.StateImages[0].reset();
  p.skin.StateImages[1].reset();
  p.skin.StateImages[2].reset();
  p.skin.SkinImages.clear();
  p.skin.BackBuffer.reset();
  p.skin.SavedScreen.reset();
  p.tables.Clear();
  throw ProgramExit{0};
}

}  // namespace qv
