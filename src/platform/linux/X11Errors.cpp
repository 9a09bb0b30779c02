#include "platform/linux/X11Errors.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

namespace qv {
namespace {

XErrorHandler previous = nullptr;

int IgnoreSendToClosedWindow(::Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow && error->request_code == X_SendEvent) return 0;
  return previous ? previous(display, error) : 0;
}

}  // namespace

void TolerateLateWakeupsToClosedWindow() {
  XErrorHandler current = XSetErrorHandler(IgnoreSendToClosedWindow);
  if (current != IgnoreSendToClosedWindow) previous = current;
}

}  // namespace qv
