#include "app/win32/Win32Platform.h"

#include <stdexcept>
#include <utility>

namespace qv {

Win32Platform::Win32Platform(Win32PlatformOptions options)
    : files_(std::move(options.drives), std::move(options.appFolder)),
      junk_(files_),
      clock_(std::move(options.clock)),
      checker_(files_, std::move(options.checkEngine)),
      volumes_(files_) {
  if (options.display) {
    display_ = std::make_unique<Win32Display>(std::move(*options.display));
    events_ = std::make_unique<Win32Events>(*display_);
  }
}

Win32Display& Win32Platform::display() {
  if (!display_) throw std::logic_error("this platform was made without a display");
  return *display_;
}

Win32Events& Win32Platform::events() {
  if (!events_) throw std::logic_error("this platform was made without a display");
  return *events_;
}

Platform Win32Platform::Services(const PlatformOverrides& own) {
  return Platform{own.display ? *own.display : display(),
                  own.events ? *own.events : events(),
                  files_,
                  own.diag ? *own.diag : diag_,
                  processes_,
                  own.system ? *own.system : system_,
                  own.clock ? *own.clock : clock_,
                  &junk_,
                  &checker_,
                  &volumes_};
}

}  // namespace qv
