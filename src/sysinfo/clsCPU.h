// The processor-load meter: how busy the processors were since the previous measurement.
#pragma once

#include <cstdint>

namespace qv {

class SystemQueries;

class clsCPU {
 public:
  // Takes the first sample; a failed query leaves it at zero.
  explicit clsCPU(SystemQueries& system);

  // Load in percent (0 to 100) since the previous successful call; 0 when a query fails, and
  // then the sample stays for the next call. A call too soon after the last one repeats its
  // reading; before any, it gives the average since the system started.
  float CurrentCPUUsage();

 private:
  SystemQueries& system_;
  int64_t previousIdleTime_ = 0;
  int64_t previousSystemTime_ = 0;
  float lastLoad_ = 0;
  bool hasReading_ = false;
};

}  // namespace qv
