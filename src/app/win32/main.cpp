// Quorvin.exe: the core in its own window on the machine's drives, with settings.ini and the
// Skin folder beside the program.
#include <string>

#include "app/win32/Win32Platform.h"
#include "core/Program.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"
#include "shell/modDeclares.h"

namespace {

// Why the program could not start, for a user who sees no standard error. QV_NO_MESSAGE_BOX=1
// leaves the box out, so that the tests under Wine, which have no one to close it, go on.
void ShowStartFailure(const qv::Win32Diagnostics& diag) {
  wchar_t skip[4] = {};
  if (GetEnvironmentVariableW(L"QV_NO_MESSAGE_BOX", skip, 4) == 1 && skip[0] == L'1') return;
  std::string text = "Quorvin could not start.\n";
  for (const std::string& line : diag.Lines()) text += "\n" + line;
  std::wstring wide;
  if (!qv::ToWide(text, &wide)) wide = L"Quorvin could not start.";
  MessageBoxW(nullptr, wide.c_str(), L"Quorvin", MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  qv::Win32Platform platform({.display = qv::Win32DisplayOptions{}});
  // Checked before the window opens, so that a program copied without its skin (the common
  // mistake) shows no empty window before saying so.
  qv::Win32FileSystem& files = platform.files();
  if (const std::string skin = files.SkinFolder(); !files.IsFolder(skin, qv::FollowLinks::Yes)) {
    platform.diag().Warn("the skin folder " + files.HostPath(skin) +
                         " is missing; cannot start without it");
    ShowStartFailure(platform.diag());
    return 1;
  }
  qv::Program program(platform.Services());
  try {
    if (!qv::StartUp(program)) {
      // Not an empty window behind the box.
      if (const HWND window = platform.display().window()) ::ShowWindow(window, SW_HIDE);
      ShowStartFailure(platform.diag());
      return 1;
    }
  } catch (const qv::ProgramExit& exit) {
    return exit.status;
  }
  return qv::MessageLoop(program);
}
