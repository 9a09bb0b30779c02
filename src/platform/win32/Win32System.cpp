#include "platform/win32/Win32System.h"

#include <climits>

#include "platform/win32/WideText.h"
//
#include <lmcons.h>

namespace qv {

namespace {

int64_t Signed(DWORDLONG bytes) {
  return bytes > static_cast<DWORDLONG>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(bytes);
}

int64_t Units(const FILETIME& t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) &
                              static_cast<uint64_t>(INT64_MAX));
}

// GetVersionEx answers with what the program's manifest claims to support; RtlGetVersion tells
// the truth.
using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);

}  // namespace

MemoryStatus Win32System::GetMemoryStatus() {
  MemoryStatus m;
  MEMORYSTATUSEX s{};
  s.dwLength = sizeof s;
  if (!GlobalMemoryStatusEx(&s)) return m;
  m.hasPhysical = true;
  m.TotalPhys = Signed(s.ullTotalPhys);
  m.AvailPhys = Signed(s.ullAvailPhys);
  m.hasPageFile = true;
  m.TotalPageFile = Signed(s.ullTotalPageFile);
  m.AvailPageFile = Signed(s.ullAvailPageFile);
  m.hasVirtual = true;
  m.TotalVirtual = Signed(s.ullTotalVirtual);
  m.AvailVirtual = Signed(s.ullAvailVirtual);
  return m;
}

std::optional<ProcessorInfo> Win32System::GetProcessorInfo() {
  SYSTEM_INFO s{};
  GetNativeSystemInfo(&s);
  if (s.dwNumberOfProcessors == 0) return std::nullopt;
  ProcessorInfo info;
  const std::optional<int> count = ProcessorCount();
  // Beyond 64 processors the system information counts only the program's processor group.
  info.NumberOfProcessors = count ? static_cast<uint32_t>(*count) : s.dwNumberOfProcessors;
  info.ProcessorType = s.dwProcessorType;
  if (info.ProcessorType == 0) {
    // Newer systems may leave the old field empty; the architecture gives the same number.
    switch (s.wProcessorArchitecture) {
      case PROCESSOR_ARCHITECTURE_AMD64:
        info.ProcessorType = PROCESSOR_AMD_X8664;
        break;
      case PROCESSOR_ARCHITECTURE_INTEL:
        info.ProcessorType = PROCESSOR_INTEL_PENTIUM;
        break;
      case PROCESSOR_ARCHITECTURE_IA64:
        info.ProcessorType = PROCESSOR_INTEL_IA64;
        break;
      default:
        break;
    }
  }
  return info;
}

std::optional<VersionInfo> Win32System::GetVersion() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const FARPROC proc = ntdll ? GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
  if (!proc) return std::nullopt;
  // Through void(*)(): the one function type that converts to any other without a warning.
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void (*)()>(proc));
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  if (rtlGetVersion(&v) != 0) return std::nullopt;
  VersionInfo info;
  info.MajorVersion = v.dwMajorVersion;
  info.MinorVersion = v.dwMinorVersion;
  info.BuildNumber = v.dwBuildNumber;
  info.PlatformId = static_cast<int32_t>(v.dwPlatformId);
  const size_t n = wcsnlen(v.szCSDVersion, sizeof v.szCSDVersion / sizeof v.szCSDVersion[0]);
  info.ServicePack = ToUtf8(std::wstring_view(v.szCSDVersion, n));
  return info;
}

std::optional<std::string> Win32System::GetComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) return std::nullopt;
  return ToUtf8(std::wstring_view(name, size));
}

std::optional<std::string> Win32System::GetUserName() {
  wchar_t name[UNLEN + 1] = {};
  DWORD size = UNLEN + 1;
  // The size counts the terminator here.
  if (!GetUserNameW(name, &size) || size == 0) return std::nullopt;
  return ToUtf8(std::wstring_view(name, size - 1));
}

std::optional<int64_t> Win32System::IdleTime() {
  FILETIME idle, kernel, user;
  if (!GetSystemTimes(&idle, &kernel, &user)) return std::nullopt;
  return Units(idle);
}

std::optional<int64_t> Win32System::MonotonicTime() {
  LARGE_INTEGER count, frequency;
  if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart <= 0 ||
      !QueryPerformanceCounter(&count) || count.QuadPart < 0)
    return std::nullopt;
  // Split, so that a long uptime at a high frequency does not overflow.
  const int64_t f = frequency.QuadPart;
  const int64_t seconds = count.QuadPart / f;
  if (seconds > INT64_MAX / 10000000 - 1) return std::nullopt;
  return seconds * 10000000 + (count.QuadPart % f) * 10000000 / f;
}

std::optional<int> Win32System::ProcessorCount() {
  // The idle time covers every processor group, so the count must too.
  const DWORD n = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  if (n == 0 || n > INT_MAX) return std::nullopt;
  return static_cast<int>(n);
}

}  // namespace qv
