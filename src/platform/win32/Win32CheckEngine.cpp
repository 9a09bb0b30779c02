#include "platform/win32/Win32CheckEngine.h"

#include <climits>
#include <cstring>
#include <exception>

#include "platform/common/NeedsRights.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Volumes.h"
#include "platform/win32/WinApi.h"

namespace qv {
namespace {

using EngineCallback = BOOL(WINAPI*)(DWORD command, DWORD subAction, void* actionInfo);
using ChkdskFn = void(WINAPI*)(const wchar_t* root, const wchar_t* fileSystem, BOOL fixErrors,
                               BOOL verbose, BOOL checkOnlyIfDirty, BOOL scanSurface,
                               void* reserved1, void* reserved2, EngineCallback callback);

// The engine's text-output record, as it lays it out.
struct EngineText {
  DWORD lines;
  const char* text;
};

// The engine's booleans: true is all bits set.
constexpr BOOL kEngineTrue = -1;

struct Run {
  const CheckCallback* callback;
  std::exception_ptr failure;
};

// The engine's callback carries no context, so the run it belongs to is found through the
// thread: the engine calls back on the thread that called Chkdsk. Thread-local rather than a
// plain static, so that runs on two threads can never receive each other's reports.
thread_local Run* t_run = nullptr;

std::string OemToUtf8(const char* text) {
  const size_t length = std::strlen(text);
  if (length == 0 || length > INT_MAX) return std::string();
  const int n = static_cast<int>(length);
  const int w = MultiByteToWideChar(CP_OEMCP, 0, text, n, nullptr, 0);
  if (w <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(w), L'\0');
  MultiByteToWideChar(CP_OEMCP, 0, text, n, wide.data(), w);
  return ToUtf8(wide);
}

BOOL WINAPI Report(DWORD command, DWORD subAction, void* actionInfo) {
  Run* const run = t_run;
  // After a failure the engine is only let finish; "done" is always answered with go on.
  if (!run || run->failure) return command == kCheckDone ? TRUE : FALSE;
  try {
    if (command == kCheckTextOutput) {
      const auto* record = static_cast<const EngineText*>(actionInfo);
      if (!record || !record->text) return TRUE;  // nothing to show; the engine goes on
      // The program reads UTF-8 (else Windows-1252): OEM bytes as they come would show
      // accented letters as other characters.
      const std::string text = OemToUtf8(record->text);
      const CheckTextOutput converted{record->lines, text.c_str()};
      return (*run->callback)(command, subAction, &converted) ? TRUE : FALSE;
    }
    return (*run->callback)(command, subAction, actionInfo) ? TRUE : FALSE;
  } catch (...) {
    // Unwinding through the engine's own frames would skip its clean-up (its hold on the
    // volume): the engine is stopped instead and the exception goes on after it returned.
    run->failure = std::current_exception();
    return command == kCheckDone ? TRUE : FALSE;
  }
}

}  // namespace

Win32CheckEngine::Win32CheckEngine(const Win32FileSystem& files, Win32CheckOptions options)
    : files_(files), options_(std::move(options)) {}

Win32CheckEngine::~Win32CheckEngine() {
  Unload();
}

Status Win32CheckEngine::Load() {
  if (chkdsk_) return Status::Ok();
  std::wstring name;
  if (!ToWide(options_.library, &name) || name.empty())
    return Status::Error("no library name for the disk check");
  const HMODULE module = LoadLibraryExW(
      name.c_str(), nullptr, LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!module)
    return Status::Error(options_.library + " cannot be loaded: " + SystemMessage(GetLastError()));
  const FARPROC proc = GetProcAddress(module, "Chkdsk");
  if (!proc) {
    const DWORD error = GetLastError();
    FreeLibrary(module);
    return Status::Error(options_.library + " has no Chkdsk: " + SystemMessage(error));
  }
  library_ = module;
  chkdsk_ = reinterpret_cast<void (*)()>(proc);
  return Status::Ok();
}

void Win32CheckEngine::Unload() {
  if (library_) FreeLibrary(static_cast<HMODULE>(library_));
  library_ = nullptr;
  chkdsk_ = nullptr;
}

bool Win32CheckEngine::CanOpenExclusive(const std::string& root) {
  std::wstring device;
  refusedRoot_.clear();
  if (!files_.GetVolumeInfo(root).ok() || !VolumeDevicePath(root, &device)) return false;
  unsigned long error = ERROR_SUCCESS;
  if (options_.openExclusive) {
    error = options_.openExclusive(device);
  } else {
    const HANDLE volume =
        CreateFileW(device.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) error = GetLastError();
    if (volume != INVALID_HANDLE_VALUE) CloseHandle(volume);
  }
  if (error == ERROR_SUCCESS) return true;
  refusedRoot_ = root;
  refusal_ = error;
  return false;
}

void Win32CheckEngine::Chkdsk(const std::string& root, const std::string& fileSystem,
                              bool fixErrors, bool verbose, bool checkOnlyIfDirty, bool scanSurface,
                              const CheckCallback& callback) {
  if (!chkdsk_) return;
  // No medium, or no such drive: the engine would only ask for one.
  if (!files_.GetVolumeInfo(root).ok()) return;
  std::wstring wideRoot, wideFileSystem;
  if (!ToWide(root, &wideRoot) || !ToWide(fileSystem, &wideFileSystem)) return;
  // A user without administrator rights gets the check without fixing, and is told why; a
  // volume in use (a sharing violation) is checked read-only as Windows does.
  if (!fixErrors && root == refusedRoot_ &&
      (refusal_ == ERROR_ACCESS_DENIED || refusal_ == ERROR_PRIVILEGE_NOT_HELD)) {
    const std::string line = FixingNeedsRights("only an administrator may write to the volume, " +
                                               SystemMessage(refusal_));
    const CheckTextOutput record{1, line.c_str()};
    if (!callback(kCheckTextOutput, 0, &record)) {
      const uint8_t failed = 0;
      callback(kCheckDone, 0, &failed);
      return;
    }
  }
  const auto flag = [](bool b) { return b ? kEngineTrue : FALSE; };
  Run run{&callback, nullptr};
  Run* const outer = t_run;
  t_run = &run;
  reinterpret_cast<ChkdskFn>(chkdsk_)(wideRoot.c_str(), wideFileSystem.c_str(), flag(fixErrors),
                                      flag(verbose), flag(checkOnlyIfDirty), flag(scanSurface),
                                      nullptr, nullptr, &Report);
  t_run = outer;
  if (run.failure) std::rethrow_exception(run.failure);
}

}  // namespace qv
