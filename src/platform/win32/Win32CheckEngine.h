// The disk check's engine on Windows: Chkdsk of the system's file-system utility library
// (fmifs.dll), loaded at run time, its reports handed to the program's callback. Only drives of
// the Win32FileSystem are checked.
#pragma once

#include <functional>
#include <string>

#include "platform/CheckEngine.h"
#include "platform/win32/Win32FileSystem.h"

namespace qv {

struct Win32CheckOptions {
  // The library with the Chkdsk export, looked for beside the program first, then in the
  // system folder; never in the current folder or PATH.
  std::string library = "fmifs.dll";
  // Opens a volume ("\\.\X:") for writing with no sharing and closes it again; answers the
  // system's error, 0 when it opened. Empty: the real volume. Tests refuse here.
  std::function<unsigned long(const std::wstring& device)> openExclusive{};
};

class Win32CheckEngine : public CheckEngine {
 public:
  explicit Win32CheckEngine(const Win32FileSystem& files, Win32CheckOptions options = {});
  ~Win32CheckEngine() override;
  Win32CheckEngine(const Win32CheckEngine&) = delete;
  Win32CheckEngine& operator=(const Win32CheckEngine&) = delete;

  Status Load() override;
  void Unload() override;
  // Whether "\\.\X:" opens for writing with no sharing at all: nothing else has the volume.
  // Refused for lack of rights, the next check of that drive without fixing says so first.
  bool CanOpenExclusive(const std::string& root) override;
  // Text reports arrive in the OEM code page; the callback gets them as UTF-8. A drive that
  // does not answer (no medium) is not handed to the engine. An exception from the callback
  // stops the engine and is thrown again once Chkdsk has returned.
  void Chkdsk(const std::string& root, const std::string& fileSystem, bool fixErrors, bool verbose,
              bool checkOnlyIfDirty, bool scanSurface, const CheckCallback& callback) override;

 private:
  const Win32FileSystem& files_;
  Win32CheckOptions options_;
  void* library_ = nullptr;  // HMODULE
  void (*chkdsk_)() = nullptr;
  std::string refusedRoot_;  // the drive whose exclusive opening was last refused
  unsigned long refusal_ = 0;
};

}  // namespace qv
