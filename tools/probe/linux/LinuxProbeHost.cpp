// The probe on Linux: the SDL display without a window, drives on host folders.
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/linux/LinuxPlatform.h"
#include "platform/linux/JpegPictureCodec.h"
#include "platform/linux/PngFile.h"
#include "probe/ProbeHost.h"

namespace probe {

namespace fs = std::filesystem;

namespace {

class LinuxProbeHost : public ProbeHost {
 public:
  LinuxProbeHost(std::vector<qv::DriveMapping> drives, const std::string& appHost,
                 const std::optional<qv::LocalTime>& fakeClock)
      : platform_({.appHost = appHost,
                   .drives = std::move(drives),
                   .display = qv::SdlDisplayOptions{.headless = true,
                                                    .pictureChecks = qv::PictureCheckStoreIn(
                                                        qv::PictureCheckFile::DefaultFile())},
                   .clock = qv::PosixClockOptions{false, "", nullptr}}) {
    if (fakeClock) fakeClock_ = std::make_unique<qv::FixedClock>(*fakeClock);
  }

  qv::Platform Services(qv::EventSource& events) override {
    return platform_.Services({.events = &events, .clock = fakeClock_.get()});
  }
  qv::EventSource& WindowEvents() override { return platform_.events(); }
  qv::Display& display() override { return platform_.display(); }
  void MoveCursor(int screenX, int screenY) override {
    platform_.display().MoveCursor(screenX, screenY);
  }
  std::string DosPathForHost(const std::string& hostFolder) override {
    return platform_.files().DosPathForHost(hostFolder);
  }
  bool AdvanceFakeClock(int64_t seconds) override {
    if (!fakeClock_) return false;
    fakeClock_->Advance(seconds);
    return true;
  }

 private:
  qv::LinuxPlatform platform_;
  std::unique_ptr<qv::FixedClock> fakeClock_;
};

}  // namespace

// Any folder will do: nothing to add to the usage.
const char kDriveUsage[] = "";

std::unique_ptr<ProbeHost> MakeProbeHost(std::vector<qv::DriveMapping> drives,
                                         const std::string& appHost,
                                         const std::optional<qv::LocalTime>& fakeClock) {
  return std::make_unique<LinuxProbeHost>(std::move(drives), appHost, fakeClock);
}

bool CheckDrive(qv::DriveMapping* drive, std::string* error) {
  if (!drive->device.empty())
    drive->device = fs::absolute(drive->device).lexically_normal().string();
  std::error_code ec;
  if (drive->hostFolder.empty() || !fs::is_directory(drive->hostFolder, ec)) {
    *error = drive->hostFolder + " is not a folder";
    return false;
  }
  drive->hostFolder = fs::absolute(drive->hostFolder).lexically_normal().string();
  return true;
}

std::vector<qv::DriveMapping> ShotsDrives(const fs::path& appFolder) {
  // C: is the folder above, so that the application folder is a folder below a drive root.
  const fs::path root = appFolder.has_parent_path() && appFolder != appFolder.root_path()
                            ? appFolder.parent_path()
                            : appFolder;
  return {qv::DriveMapping{'C', root.string(), ""}};
}

bool WriteSurfacePng(const std::string& path, const qv::Surface& surface, std::string* error) {
  return qv::WriteSurfacePng(path, surface, error);
}

const qv::PictureCodec& SkinPictureCodec() {
  static const qv::JpegPictureCodec codec;
  return codec;
}

}  // namespace probe
