// The quorvin program: the core on the SDL window and the machine's own drives.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Platform.h"
#include "platform/posix/PosixCheckEngine.h"
#include "platform/posix/PosixDisplay.h"
#include "platform/posix/PosixEvents.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixJunkScan.h"
#include "platform/posix/PosixClock.h"
#include "platform/posix/PosixProcesses.h"
#include "platform/posix/PosixSystem.h"
#include "platform/posix/StderrDiagnostics.h"
#include "core/Program.h"
#include "shell/modDeclares.h"

namespace {

int NoDisplay(const std::string& why) {
  std::fprintf(stderr,
               "quorvin: no display found (%s); to try it without a screen run: xvfb-run -s "
               "\"-screen 0 1280x1024x24\" ./quorvin\n",
               why.c_str());
  return 1;
}

bool Set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

int main() {
  std::setlocale(LC_ALL, "");
  if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) return NoDisplay("DISPLAY is not set");

  qv::PosixDisplay display({.pictureCheckFile = qv::PictureCheckFile::DefaultFile()});
  std::string error;
  if (!display.StartVideo(&error)) return NoDisplay(error);
  qv::PosixEvents events(display);
  auto files = qv::PosixFileSystem::FromMounts(qv::PosixFileSystem::RunningExecutableFolder());
  qv::PosixProcesses processes(*files);
  qv::PosixJunkScan junk(*files);
  qv::StderrDiagnostics diag;
  qv::PosixSystem system;
  qv::PosixClock clock;
  qv::PosixCheckEngine checker(*files, diag);
  qv::Platform platform{display, events, *files, diag, processes, system, clock, &junk, &checker};
  qv::Program program(platform);
  return qv::RunProgram(program);
}
