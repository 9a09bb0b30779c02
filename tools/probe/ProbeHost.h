// What the probe needs from the machine it runs on: the headless platform, drive folders,
// screenshots and the skin's picture codec. tools/probe/linux and tools/probe/win32 each
// implement it; the build picks one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Events.h"
#include "platform/Platform.h"
#include "platform/common/DriveLetters.h"
#include "platform/common/PictureCodec.h"

namespace probe {

// The headless platform of a probe run, with exactly the drives it was made with.
class ProbeHost {
 public:
  virtual ~ProbeHost() = default;

  // The program's services, with `events` in place of the window system's and the fake clock
  // (if any) in place of the machine's.
  virtual qv::Platform Services(qv::EventSource& events) = 0;
  // The window system's own events; their timers are never started.
  virtual qv::EventSource& WindowEvents() = 0;
  virtual qv::Display& display() = 0;
  virtual void MoveCursor(int screenX, int screenY) = 0;
  // The DOS path of a folder of this machine; empty when it lies on none of the drives.
  virtual std::string DosPathForHost(const std::string& hostFolder) = 0;
  // Moves the fake clock; false when the run reads the machine's clock.
  virtual bool AdvanceFakeClock(int64_t seconds) = 0;
};

// `appHost`: the folder that stands for the executable's. `fakeClock`: where the fake clock
// starts; none: the machine's clock, read only.
std::unique_ptr<ProbeHost> MakeProbeHost(std::vector<qv::DriveMapping> drives,
                                         const std::string& appHost,
                                         const std::optional<qv::LocalTime>& fakeClock);

// Completes a --drive of the command line (letter, folder and device as written): false with
// `error` when this machine cannot give that drive.
bool CheckDrive(qv::DriveMapping* drive, std::string* error);
// What the usage text adds about --drive on this machine; empty: nothing.
extern const char kDriveUsage[];

// The drives of `shots`: one that holds the application folder below its root; none when no
// drive can.
std::vector<qv::DriveMapping> ShotsDrives(const std::filesystem::path& appFolder);

bool WriteSurfacePng(const std::string& path, const qv::Surface& surface, std::string* error);

// The codec the program reads the skin's pictures with.
const qv::PictureCodec& SkinPictureCodec();

}  // namespace probe
