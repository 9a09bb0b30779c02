// Figures about the machine: memory, processors, system version, names, and the three queries
// of the processor-load meter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qv {

// Byte counts, signed as the program takes them. A group that could not be read is marked
// absent, so that the screen keeps what it showed instead of showing zeros.
struct MemoryStatus {
  bool hasPhysical = false;
  int64_t TotalPhys = 0;
  int64_t AvailPhys = 0;
  bool hasPageFile = false;
  int64_t TotalPageFile = 0;
  int64_t AvailPageFile = 0;
  bool hasVirtual = false;
  int64_t TotalVirtual = 0;
  int64_t AvailVirtual = 0;
};

struct ProcessorInfo {
  uint32_t NumberOfProcessors = 0;
  uint32_t ProcessorType = 0;  // in the Windows numbering: 386, 486, 586, 2200, 8664
};

// Platform ids of the Windows families; other systems name their family instead.
enum PlatformId { kPlatformWin32s = 0, kPlatformWin9x = 1, kPlatformWinNt = 2, kPlatformNamed = 3 };

struct VersionInfo {
  uint32_t MajorVersion = 0;
  uint32_t MinorVersion = 0;
  uint32_t BuildNumber = 0;
  int32_t PlatformId = -1;
  std::string FamilyName;  // with kPlatformNamed
  std::string ServicePack;
};

class SystemQueries {
 public:
  virtual ~SystemQueries() = default;
  // Each answer is empty when the figure cannot be had.
  virtual MemoryStatus GetMemoryStatus() = 0;
  virtual std::optional<ProcessorInfo> GetProcessorInfo() = 0;
  virtual std::optional<VersionInfo> GetVersion() = 0;
  virtual std::optional<std::string> GetComputerName() = 0;
  virtual std::optional<std::string> GetUserName() = 0;

  // The load meter's queries.
  // Time all processors together spent idle, in 100 ns units.
  virtual std::optional<int64_t> IdleTime() = 0;
  // Time since the system started on a clock that is never set, in 100 ns units.
  virtual std::optional<int64_t> MonotonicTime() = 0;
  virtual std::optional<int> ProcessorCount() = 0;
};

}  // namespace qv
