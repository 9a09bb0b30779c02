#include "shell/modDeclares.h"

#include <cstdint>
#include <exception>
#include <utility>
#include <vector>

#include "core/Convert.h"
#include "core/ProfileString.h"
#include "core/Program.h"
#include "disk/modDefrag.h"
#include "files/modExplorerSource.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"
#include "shell/modSettings.h"
#include "skin/modForm.h"
#include "sysinfo/modSystemInfo.h"
#include "widgets/modStatusbar.h"

namespace qv {

namespace {

bool EndsWithJpg(const std::string& name) {
  return name.size() >= 3 && EqualsNoCase(name.substr(name.size() - 3), "jpg");
}

bool PlaceWindow(Program& p) {
  Settings& s = p.settings;
  if (!s.GeometryValid) {
    int w = 0;
    int h = 0;
    p.os.display.DisplaySize(&w, &h);
    s.ResX = static_cast<int16_t>(w > 32767 ? 32767 : w);
    s.ResY = static_cast<int16_t>(h > 32767 ? 32767 : h);
    s.WindowLeft = 0;
    s.WindowTop = 0;
    p.os.diag.Warn(
        "settings.ini has no usable window size and position (General: ResX, ResY, "
        "Top, Left); using the whole display, " +
        std::to_string(w) + " x " + std::to_string(h) + " at 0,0");
  }
  const Status opened =
      p.os.display.OpenWindow(s.WindowLeft, s.WindowTop, s.ResX, s.ResY, "Quorvin");
  if (!opened.ok()) {
    p.os.diag.Warn("cannot open the window: " + opened.message());
    return false;
  }
  p.os.events.SetTimer(kCpuTimer, kCpuTimerInterval, true);
  p.os.events.SetTimer(kClockTimer, kClockTimerInterval, true);
  return true;
}

}  // namespace

void InstallReactions(Program& p) {
  p.reactions = Reactions{};
  p.reactions.handleEvent = HandleEvent;
  RegisterExplorerReactions(p);
  RegisterSystemInfoReactions(p);
  RegisterDefragReactions(p);
}

bool StartUp(Program& p) {
  InstallReactions(p);
  LoadSettings(p);
  if (!PlaceWindow(p)) return false;
  p.skin.BackBuffer = p.os.display.CreateSurface(p.settings.ResX, p.settings.ResY);
  p.skin.SavedScreen = p.os.display.CreateSurface(p.settings.ResX, p.settings.ResY);
  CreateCpuMeter(p);

  const std::string exeFolder = p.os.files.ExecutableFolder();
  p.explorer.SourcePath = exeFolder.substr(0, 3);
  p.explorer.DestinationPath = exeFolder.substr(0, 3);

  const std::string skin = SkinFolder(p);
  const std::vector<DirEntry> entries =
      p.os.files.ListFolder(skin, ListDetail::Full).value_or(std::vector<DirEntry>{});
  std::vector<std::string> pictures;
  for (const DirEntry& e : entries)
    if (!e.isFolder && EndsWithJpg(e.name)) pictures.push_back(e.name);
  p.skin.SkinImages.assign(pictures.size(), SkinImage{});

  // Without the loading pictures there is no design size to lay the screens out on.
  p.skin.StateImages[0] = LoadSkinImage(p, skin + "Loading_enabled.jpg");
  p.skin.StateImages[2] = LoadSkinImage(p, skin + "Loading_active.jpg");
  if (!p.skin.StateImages[0] || !p.skin.StateImages[2]) {
    const char* name = !p.skin.StateImages[0] ? "Loading_enabled.jpg" : "Loading_active.jpg";
    p.os.diag.Warn("the skin folder " + p.os.files.HostPath(skin) + " has no usable " + name +
                   "; cannot start without it");
    return false;
  }
  const int designWidth = p.skin.StateImages[0]->Width();
  const int designHeight = p.skin.StateImages[0]->Height();
  const double scaleX = static_cast<double>(p.settings.ResX) / designWidth;
  const double scaleY = static_cast<double>(p.settings.ResY) / designHeight;
  // A window that scales the design by more than this shows a few blown-up pixels at best.
  constexpr double kMaxScale = 16;
  if (!UsableDesignSize(designWidth, designHeight) || scaleX > kMaxScale || scaleY > kMaxScale ||
      scaleX < 1 / kMaxScale || scaleY < 1 / kMaxScale) {
    p.os.diag.Warn("the loading picture " + p.os.files.HostPath(skin + "Loading_enabled.jpg") +
                   " is " + std::to_string(designWidth) + " x " + std::to_string(designHeight) +
                   " pixels, which gives no usable design size for a window of " +
                   std::to_string(p.settings.ResX) + " x " + std::to_string(p.settings.ResY) +
                   "; cannot start with it");
    return false;
  }
  p.skin.ScaleX = static_cast<float>(scaleX);
  p.skin.ScaleY = static_cast<float>(scaleY);

  p.os.display.ShowWindow();
  Yield(p, false);
  DrawElementRect(p, 0, 0, p.settings.ResY, p.settings.ResX, kDrawEnabled);
  LoadScreenLayout(p, "loading");

  // Every file is read first so that the display can decode ahead of the bar. An unreadable
  // file is decoded as empty data, and reported as unreadable in its turn.
  const size_t n = pictures.size();
  std::vector<std::vector<uint8_t>> data(n);
  std::vector<bool> readable(n);
  for (size_t k = 0; k < n; ++k) {
    Result<std::vector<uint8_t>> read = p.os.files.ReadWholeFile(skin + pictures[k]);
    readable[k] = read.ok();
    if (readable[k]) data[k] = std::move(read).value();
  }
  p.os.display.DecodeJpegs(std::move(data), [&](size_t k, DecodedPicture picture) {
    Yield(p, false);
    const std::string& file = pictures[k];
    p.skin.SkinImages[k].name = file.substr(0, file.size() - 4);
    if (readable[k]) {
      p.skin.SkinImages[k].surface = AcceptSkinImage(p, skin + file, std::move(picture));
    } else {
      WarnUnreadableSkinImage(p, skin + file);
    }
    // With fewer than two pictures the bar simply ends full.
    const double progress = n < 2 ? 100.0 : 100.0 / static_cast<double>(n - 1) * k;
    SetProgress(p, "loading", "status", static_cast<int32_t>(RoundHalfEven(progress)));
  });
  if (n == 0) SetProgress(p, "loading", "status", 100);

  if (p.settings.StartMinimized) p.os.display.MinimizeWindow();
  ShowScreen(p, "Mainscreen");
  return true;
}

int MessageLoop(Program& p) {
  try {
    for (;;) {
      Event e;
      p.os.events.WaitEvent(&e);
      HandleEventSafely(p, e);
    }
  } catch (const ProgramExit& exit) {
    return exit.status;
  }
}

int RunProgram(Program& p) {
  try {
    if (!StartUp(p)) return 1;
  } catch (const ProgramExit& exit) {
    return exit.status;
  }
  return MessageLoop(p);
}

}  // namespace qv
