#include "sysinfo/clsCPU.h"

#include "platform/SystemQueries.h"

namespace qv {

clsCPU::clsCPU(SystemQueries& system) : system_(system) {
  int64_t now = 0;
  int64_t idle = 0;
  if (!system_.TimeOfDay(&now)) return;
  if (!system_.IdleTime(&idle)) return;
  previousIdleTime_ = idle;
  previousSystemTime_ = now;
}

float clsCPU::CurrentCPUUsage() {
  float load = 0;
  int processors = 0;
  int64_t now = 0;
  int64_t idle = 0;
  if (!system_.ProcessorCount(&processors)) return 0;
  if (!system_.TimeOfDay(&now)) return 0;
  if (!system_.IdleTime(&idle)) return 0;
  // Both differences are read as fixed-point numbers with four decimals.
  const float idleDiff = static_cast<float>(static_cast<double>(idle - previousIdleTime_) / 10000.0);
  const int64_t timeDiff = now - previousSystemTime_;
  const float ratio =
      timeDiff != 0 ? static_cast<float>(idleDiff / (static_cast<double>(timeDiff) / 10000.0))
                    : idleDiff;
  // Without a processor count the load cannot be had; the sample is still taken.
  if (processors != 0) load = 100.0f - ratio * 100.0f / static_cast<float>(processors);
  previousIdleTime_ = idle;
  previousSystemTime_ = now;
  return load;
}

}  // namespace qv
