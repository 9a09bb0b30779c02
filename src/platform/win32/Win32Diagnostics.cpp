#include "platform/win32/Win32Diagnostics.h"

#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace qv {

namespace {

// Standard error as given (a pipe, a file, Wine's terminal); else the console of the parent,
// which a program of the window subsystem must attach to itself.
HANDLE ErrorHandle() {
  static const HANDLE handle = [] {
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    if (h && h != INVALID_HANDLE_VALUE) return h;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return INVALID_HANDLE_VALUE;
    return CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  }();
  return handle;
}

}  // namespace

void Win32Diagnostics::Warn(const std::string& line) {
  constexpr size_t kKept = 40;
  if (lines_.size() == kKept) lines_.erase(lines_.begin());
  lines_.push_back(line);

  const HANDLE h = ErrorHandle();
  if (h == INVALID_HANDLE_VALUE) return;
  const std::string text = "quorvin: " + line + "\n";
  DWORD written = 0;
  // A console shows UTF-16; a pipe or file gets the UTF-8 bytes. One write per line.
  DWORD mode = 0;
  if (GetConsoleMode(h, &mode)) {
    std::wstring wide;
    if (!ToWide(text, &wide)) wide = L"quorvin: (a message that is not UTF-8)\n";
    WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

}  // namespace qv
