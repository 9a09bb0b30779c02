// The quorvin program: the core on the SDL window and the machine's own drives.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/linux/LinuxPlatform.h"
#include "core/Program.h"
#include "platform/linux/ProgramPlaces.h"
#include "platform/linux/UserSettings.h"
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

  const std::string exeFolder = qv::PosixFileSystem::RunningExecutableFolder();
  const qv::ProgramPlaces places = qv::FindProgramPlaces(exeFolder);
  qv::LinuxPlatform platform({
      .appHost = exeFolder,
      .files = {.places = places},
      .display = qv::SdlDisplayOptions{.pictureChecks = qv::PictureCheckStoreIn(
                                           qv::PictureCheckFile::DefaultFile())},
  });
  if (const qv::Status video = platform.display().StartVideo(); !video.ok())
    return NoDisplay(video.message());
  if (!places.settingsFile.empty()) {
    const std::string home = qv::UserHome();
    qv::PrepareSettingsFile(places.settingsFile, places.settingsTemplate, platform.files().Table(),
                            home, qv::UserMediaFolders(home), platform.diag());
  }
  qv::Program program(platform.Services());
  return qv::RunProgram(program);
}
