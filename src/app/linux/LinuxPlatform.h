// The Linux services a Program runs on, made and wired in one place for the program, the probe,
// the benchmarks and the tests. A caller may put a service of its own in place of a Linux one
// (the tests' in-memory display, the probe's scripted events, a fixed clock).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/common/PlatformOverrides.h"
#include "platform/Platform.h"
#include "platform/linux/PictureCheckFile.h"
#include "platform/linux/PosixCheckEngine.h"
#include "platform/linux/PosixClock.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixJunkScan.h"
#include "platform/linux/PosixProcesses.h"
#include "platform/linux/PosixSystem.h"
#include "platform/linux/PosixVolumes.h"
#include "platform/linux/StderrDiagnostics.h"
#include "platform/sdl/SdlDisplay.h"
#include "platform/sdl/SdlEvents.h"

namespace qv {

// `options` with the Linux services an SDL display reads pictures and finds fonts with
// (libjpeg-turbo, fontconfig) where it names none of its own.
SdlDisplayOptions LinuxDisplayOptions(SdlDisplayOptions options);

struct LinuxPlatformOptions {
  // The application folder (a host path).
  std::string appHost{};
  // The drive letters' host folders; none: the machine's mounts.
  std::optional<std::vector<DriveMapping>> drives{};
  PosixFileSystem::Options files{};
  // The SDL display and its events (completed by LinuxDisplayOptions); none: the caller gives
  // both.
  std::optional<SdlDisplayOptions> display{};
  PosixClockOptions clock{};
  PosixJunkScanOptions junk{};
  // The file system's own checker behind the disk check; false: none.
  bool checkEngine = true;
  PosixVolumeOptions volumes{};
};

class LinuxPlatform {
 public:
  explicit LinuxPlatform(LinuxPlatformOptions options);
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  // The bundle for a Program. Throws std::logic_error when neither this platform nor `own` has
  // a display and events.
  Platform Services(const PlatformOverrides& own = {});

  // Only with a display (the options' `display`).
  SdlDisplay& display();
  SdlEvents& events();
  PosixFileSystem& files() { return *files_; }
  PosixJunkScan& junk() { return *junk_; }
  StderrDiagnostics& diag() { return diag_; }

 private:
  std::unique_ptr<SdlDisplay> display_;
  std::unique_ptr<SdlEvents> events_;
  std::unique_ptr<PosixFileSystem> files_;
  std::unique_ptr<PosixProcesses> processes_;
  std::unique_ptr<PosixJunkScan> junk_;
  StderrDiagnostics diag_;
  PosixSystem system_;
  PosixClock clock_;
  std::unique_ptr<PosixCheckEngine> checker_;
  std::unique_ptr<PosixVolumes> volumes_;
};

}  // namespace qv
