// The Windows services a Program runs on, made and wired in one place for Quorvin.exe, the
// probe and the tests. A caller may put a service of its own in place of a Windows one (the
// probe's scripted events, a fixed clock).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/common/PlatformOverrides.h"
#include "platform/Platform.h"
#include "platform/win32/Win32CheckEngine.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32Diagnostics.h"
#include "platform/win32/Win32Display.h"
#include "platform/win32/Win32Events.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32JunkScan.h"
#include "platform/win32/Win32Processes.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32Volumes.h"

namespace qv {

struct Win32PlatformOptions {
  // The drive letters offered; empty: every drive of the machine.
  std::vector<char> drives{};
  // The DOS path that stands for the executable's folder; empty: the running program's.
  std::string appFolder{};
  // The window and its events; none: the caller gives both.
  std::optional<Win32DisplayOptions> display{};
  Win32ClockOptions clock{};
  Win32CheckOptions checkEngine{};
};

class Win32Platform {
 public:
  explicit Win32Platform(Win32PlatformOptions options);
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  // The bundle for a Program. Throws std::logic_error when neither this platform nor `own` has
  // a display and events.
  Platform Services(const PlatformOverrides& own = {});

  // Only with a display (the options' `display`).
  Win32Display& display();
  Win32Events& events();
  Win32FileSystem& files() { return files_; }
  Win32JunkScan& junk() { return junk_; }
  Win32Diagnostics& diag() { return diag_; }

 private:
  // The events hold on to the display: made after it, gone before it.
  std::unique_ptr<Win32Display> display_;
  std::unique_ptr<Win32Events> events_;
  Win32FileSystem files_;
  Win32Processes processes_;
  Win32JunkScan junk_;
  Win32Diagnostics diag_;
  Win32System system_;
  Win32Clock clock_;
  Win32CheckEngine checker_;
  Win32Volumes volumes_;
};

}  // namespace qv
