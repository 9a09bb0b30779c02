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
  bool GetProcessorInfo(ProcessorInfo* info) override;
  bool GetVersion(VersionInfo* info) override;
  bool GetComputerName(std::string* name) override;
  bool GetUserName(std::string* name) override;
  bool IdleTime(int64_t* idle) override;
  bool MonotonicTime(int64_t* now) override;
  bool ProcessorCount(int* count) override;

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
