// Machine figures from the Windows system services.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/SystemQueries.h"

namespace qv {

class Win32System : public SystemQueries {
 public:
  MemoryStatus GetMemoryStatus() override;
  std::optional<ProcessorInfo> GetProcessorInfo() override;
  std::optional<VersionInfo> GetVersion() override;
  std::optional<std::string> GetComputerName() override;
  std::optional<std::string> GetUserName() override;
  std::optional<int64_t> IdleTime() override;
  std::optional<int64_t> MonotonicTime() override;
  std::optional<int> ProcessorCount() override;
};

}  // namespace qv
