#include "platform/linux/ClockJob.h"

#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/linux/PrivilegedHelper.h"

namespace qv {

std::optional<int64_t> ParseClockTime(const std::string& text) {
  // Twelve digits hold the latest time; more cannot be in range and could overflow.
  if (text.empty() || text.size() > 12) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > kLatestClockTime) return std::nullopt;
  return value;
}

int SetClockJobWith(const std::vector<std::string>& args, const std::function<int(int64_t)>& set) {
  const std::optional<int64_t> time = args.size() == 1 ? ParseClockTime(args[0]) : std::nullopt;
  if (!time) {
    std::fprintf(stderr, "quorvin-helper: set-clock takes one time, in seconds since 1970 (UTC)\n");
    return kHelperRefused;
  }
  if (const int error = set(*time); error != 0) {
    std::fprintf(stderr, "quorvin-helper: set-clock: %s\n", std::strerror(error));
    return kHelperJobFailed;
  }
  return 0;
}

int SetClockJob(const std::vector<std::string>& args) {
  return SetClockJobWith(args, [](int64_t seconds) {
    struct timespec ts {};
    ts.tv_sec = static_cast<time_t>(seconds);
    return clock_settime(CLOCK_REALTIME, &ts) == 0 ? 0 : errno;
  });
}

}  // namespace qv
