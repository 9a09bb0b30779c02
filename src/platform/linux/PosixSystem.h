// Machine figures from /proc, the resource limits, uname and the user database.
#pragma once

#include <cstdint>
#include <string>

#include "platform/SystemQueries.h"

namespace qv {

class PosixSystem : public SystemQueries {
 public:
  // `procRoot`: the folder read as /proc (tests give a folder of their own).
  explicit PosixSystem(std::string procRoot = "/proc");

  MemoryStatus GetMemoryStatus() override;
  std::optional<ProcessorInfo> GetProcessorInfo() override;
  std::optional<VersionInfo> GetVersion() override;
  std::optional<std::string> GetComputerName() override;
  std::optional<std::string> GetUserName() override;
  std::optional<int64_t> IdleTime() override;
  std::optional<int64_t> MonotonicTime() override;
  std::optional<int> ProcessorCount() override;

 private:
  std::string procRoot_;
  int64_t tickUnits_;  // 100 ns units per clock tick of /proc/stat
};

// Windows processor type of a uname machine name ("x86_64" 8664, "i686" 586); 0 when unknown.
uint32_t ProcessorTypeOf(const std::string& machine);
// The numbers of a kernel release: "6.1.0-18-amd64" gives 6, 1 and 0.
void SplitKernelRelease(const std::string& release, uint32_t* major, uint32_t* minor,
                        uint32_t* build);

}  // namespace qv
