#include "sysinfo/clsCPU.h"

#include <algorithm>

#include "platform/SystemQueries.h"

namespace qv {

namespace {

// Over a shorter interval the idle counter's ticks outweigh what happened.
constexpr int64_t kShortestInterval = 1000000;  // 100 ms in 100 ns units

}  // namespace

clsCPU::clsCPU(SystemQueries& system) : system_(system) {
  const std::optional<int64_t> now = system_.MonotonicTime();
  if (!now) return;
  const std::optional<int64_t> idle = system_.IdleTime();
  if (!idle) return;
  previousIdleTime_ = *idle;
  previousSystemTime_ = *now;
}

float clsCPU::CurrentCPUUsage() {
  const std::optional<int> processorCount = system_.ProcessorCount();
  if (!processorCount) return 0;
  const std::optional<int64_t> nowTime = system_.MonotonicTime();
  if (!nowTime) return 0;
  const std::optional<int64_t> idleTime = system_.IdleTime();
  if (!idleTime) return 0;
  const int processors = *processorCount;
  const int64_t now = *nowTime;
  const int64_t idle = *idleTime;
  int64_t fromTime = previousSystemTime_;
  int64_t fromIdle = previousIdleTime_;
  if (now - fromTime < kShortestInterval) {
    // Too soon: the last reading stands and the sample stays, so the next call measures longer.
    if (hasReading_) return lastLoad_;
    // The first reading right after start: the average since the system started.
    fromTime = 0;
    fromIdle = 0;
    if (now <= 0) return 0;
  }
  float load = 0;
  // Without a processor count the load cannot be had; the sample is still taken.
  if (processors > 0) {
    const double ratio = static_cast<double>(idle - fromIdle) / static_cast<double>(now - fromTime);
    load = std::clamp(static_cast<float>(100.0 - ratio * 100.0 / processors), 0.0f, 100.0f);
  }
  previousIdleTime_ = idle;
  previousSystemTime_ = now;
  lastLoad_ = load;
  hasReading_ = true;
  return load;
}

}  // namespace qv
