#include "platform/win32/Win32PathChain.h"

#include <optional>

#include "platform/common/DosPath.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileSystem.h"

namespace qv {

HANDLE OpenAsIs(const std::wstring& native, DWORD access, DWORD share) {
  return CreateFileW(native.c_str(), access, share, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool Listed(const std::wstring& native, WIN32_FIND_DATAW* d) {
  const HANDLE find =
      FindFirstFileExW(native.c_str(), FindExInfoBasic, d, FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}

PathChain::PathChain(const std::string& dosPath, bool parentOnly) {
  std::optional<DosPath> split = SplitDosPath(dosPath);
  std::wstring whole;
  // Every name, the last one too, must be one name to Windows (no stream, no "\").
  if (!split || !Win32FileSystem::NativePath(dosPath, &whole)) return;
  if (parentOnly) {
    if (split->names.empty()) return;
    if (!ToWide(split->names.back(), &leaf_)) return;
    split->names.pop_back();
  }
  std::vector<std::string> names;
  for (size_t k = 0;; ++k) {
    if (!Win32FileSystem::NativePath(JoinDosPath(split->letter, names), &native_)) return;
    WinHandle h(OpenAsIs(native_, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE));
    BY_HANDLE_FILE_INFORMATION info;
    if (!h.ok() || !GetFileInformationByHandle(h.get(), &info)) {
      error_ = GetLastError();
      return;
    }
    const bool root = names.empty();
    if (root) serial_ = info.dwVolumeSerialNumber;
    WIN32_FIND_DATAW d;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        info.dwVolumeSerialNumber != serial_ ||
        (!root && ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !Listed(native_, &d) ||
                   (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))))
      return;
    held_.push_back(std::move(h));
    if (k == split->names.size()) break;
    names.push_back(split->names[k]);
  }
  isTop_ = split->names.empty();
  if (native_.back() == L'\\') native_.pop_back();  // the root's
  reached_ = true;
}

}  // namespace qv
