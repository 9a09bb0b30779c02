// What the Windows tests share: the two empty drives the Wine run lends each test program
// (QV_TEST_DRIVES, "D: E:"; scripts/wine-run.sh), and files written on them.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace qv {

// The letters of the two drives; false outside scripts/test-windows.sh.
inline bool TakeTestDrives(char* first, char* second) {
  const char* drives = std::getenv("QV_TEST_DRIVES");
  if (!drives || std::string(drives).size() != 5) return false;
  *first = drives[0];
  *second = drives[3];
  return true;
}

inline std::wstring Wide(const std::string& s) {
  std::wstring w;
  EXPECT_TRUE(ToWide(s, &w)) << s;
  return w;
}

// A file with `bytes`: a new one, or with `replace` whatever stood there.
inline void WriteTestFile(const std::string& path, const std::string& bytes, bool replace = false) {
  const HANDLE f = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                               replace ? CREATE_ALWAYS : CREATE_NEW, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << path << ": " << SystemMessage(GetLastError());
  DWORD n = 0;
  const BOOL written = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(f);
  ASSERT_TRUE(written && n == bytes.size()) << path;
}

}  // namespace qv
