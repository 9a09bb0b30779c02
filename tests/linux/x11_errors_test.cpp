// The X error handler that lets a late wakeup to a closed window pass, on a private Xvfb.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/linux/CheckProbe.h"
#include "platform/linux/ChildProcess.h"
#include "platform/linux/X11Errors.h"

// Last: Xlib's macros (Status, None, Bool) would break the headers above.
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xproto.h>
// clang-format on

namespace qv {
namespace {

int seenErrors = 0;
int lastRequest = 0;

int Record(::Display*, XErrorEvent* e) {
  ++seenErrors;
  lastRequest = e->request_code;
  return 0;
}

TEST(X11Errors, OnlyASendToAClosedWindowIsForgiven) {
  const std::string xvfb = FindProgram("Xvfb");
  if (xvfb.empty()) GTEST_SKIP() << "Xvfb is not installed";
  UniqueFd readEnd, writeEnd;
  ASSERT_TRUE(MakePipe(&readEnd, &writeEnd).ok());
  ChildProcess server;
  ChildOptions options;
  options.descriptors = {{3, writeEnd.get()}};
  ASSERT_TRUE(
      server
          .Start({xvfb, "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "64x64x24"}, options)
          .ok());
  writeEnd.reset();
  std::string number;
  char c;
  while (read(readEnd.get(), &c, 1) == 1 && c != '\n') number += c;
  ::Display* display = number.empty() ? nullptr : XOpenDisplay((":" + number).c_str());
  if (display) {
    const XErrorHandler before = XSetErrorHandler(Record);
    TolerateLateWakeupsToClosedWindow();
    const Window gone =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 8, 8, 0, 0, 0);
    XDestroyWindow(display, gone);
    XEvent wakeup{};
    wakeup.xclient.type = ClientMessage;
    wakeup.xclient.window = gone;
    wakeup.xclient.format = 32;
    XSendEvent(display, gone, False, NoEventMask, &wakeup);
    XSync(display, False);
    EXPECT_EQ(seenErrors, 0) << "the late wakeup reached the handler before";
    XMapWindow(display, gone);
    XSync(display, False);
    EXPECT_EQ(seenErrors, 1) << "any other error must still reach the handler before";
    EXPECT_EQ(lastRequest, X_MapWindow);
    XSetErrorHandler(before);
    XCloseDisplay(display);
  }
  server.Signal(SIGTERM);
  server.Wait();
  ASSERT_NE(display, nullptr) << "Xvfb did not start";
}

}  // namespace
}  // namespace qv
