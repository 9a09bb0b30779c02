// Reaching a name on a drive the way code that acts on it must: through no reparse point, on the
// root's volume, with every folder on the way held so that none is renamed or replaced meanwhile.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/win32/WinApi.h"

namespace qv {

class WinHandle {
 public:
  explicit WinHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~WinHandle() {
    if (ok()) CloseHandle(h_);
  }
  WinHandle(WinHandle&& other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
  WinHandle(const WinHandle&) = delete;
  WinHandle& operator=(const WinHandle&) = delete;
  WinHandle& operator=(WinHandle&& other) noexcept {
    std::swap(h_, other.h_);
    return *this;
  }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// The name itself, never what a reparse point leads to.
HANDLE OpenAsIs(const std::wstring& native, DWORD access, DWORD share);

// The name's own attributes as its folder lists them. Wine opens the folder a host link leads
// to even when asked for the link itself, but lists the link as a reparse point.
bool Listed(const std::wstring& native, WIN32_FIND_DATAW* d);

// The folders from a drive's root to a path, each held open without sharing deletion, none of
// them a reparse point, all on the root's volume.
class PathChain {
 public:
  PathChain() = default;
  // `parentOnly`: the chain ends at the path's folder, and the last name is `leaf()`.
  PathChain(const std::string& dosPath, bool parentOnly);
  PathChain(PathChain&&) = default;
  PathChain& operator=(PathChain&&) = default;

  explicit operator bool() const { return reached_; }
  // "\\?\X:\a\b" without a final "\".
  const std::wstring& native() const { return native_; }
  const std::wstring& leaf() const { return leaf_; }
  std::wstring LeafPath() const { return native_ + L"\\" + leaf_; }
  bool isTop() const { return isTop_; }
  DWORD serial() const { return serial_; }
  // Why a folder on the way could not be opened; 0 when it was not a folder of the volume.
  DWORD error() const { return error_; }

 private:
  std::vector<WinHandle> held_;
  std::wstring native_, leaf_;
  DWORD serial_ = 0;
  DWORD error_ = 0;
  bool isTop_ = false;
  bool reached_ = false;
};

}  // namespace qv
