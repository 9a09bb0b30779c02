#include "app/linux/LinuxPlatform.h"

#include <stdexcept>
#include <utility>

#include "platform/linux/FontconfigLookup.h"
#include "platform/linux/JpegPictureCodec.h"
#include "platform/linux/X11Errors.h"

namespace qv {

SdlDisplayOptions LinuxDisplayOptions(SdlDisplayOptions options) {
  if (!options.codec) options.codec = std::make_shared<JpegPictureCodec>();
  if (!options.fonts) {
    auto fonts = std::make_shared<FontconfigLookup>();
    fonts->LoadConfigInBackground();
    options.fonts = std::move(fonts);
  }
  return options;
}

LinuxPlatform::LinuxPlatform(LinuxPlatformOptions options) : clock_(std::move(options.clock)) {
  if (options.display) {
    TolerateLateWakeupsToClosedWindow();
    display_ = std::make_unique<SdlDisplay>(LinuxDisplayOptions(std::move(*options.display)));
    events_ = std::make_unique<SdlEvents>(*display_);
  }
  files_ = options.drives
               ? std::make_unique<PosixFileSystem>(std::move(*options.drives), options.appHost,
                                                   std::move(options.files))
               : PosixFileSystem::FromMounts(options.appHost, std::move(options.files));
  processes_ = std::make_unique<PosixProcesses>(*files_);
  junk_ = std::make_unique<PosixJunkScan>(*files_, std::move(options.junk));
  if (options.checkEngine) checker_ = std::make_unique<PosixCheckEngine>(*files_, diag_);
  volumes_ = std::make_unique<PosixVolumes>(*files_, std::move(options.volumes));
}

SdlDisplay& LinuxPlatform::display() {
  if (!display_) throw std::logic_error("this platform was made without a display");
  return *display_;
}

SdlEvents& LinuxPlatform::events() {
  if (!events_) throw std::logic_error("this platform was made without a display");
  return *events_;
}

Platform LinuxPlatform::Services(const PlatformOverrides& own) {
  return Platform{own.display ? *own.display : display(),
                  own.events ? *own.events : events(),
                  *files_,
                  own.diag ? *own.diag : diag_,
                  *processes_,
                  own.system ? *own.system : system_,
                  own.clock ? *own.clock : clock_,
                  junk_.get(),
                  checker_.get(),
                  volumes_.get()};
}

}  // namespace qv
