#include "platform/linux/PosixSystem.h"

#include <pwd.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace qv {

namespace {

// "Key:   123 kB" lines in bytes; lines without a number in kB are left out.
std::map<std::string, int64_t> ReadKilobyteTable(const std::string& file) {
  std::map<std::string, int64_t> table;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::istringstream rest(line.substr(colon + 1));
    long long value = 0;
    std::string unit;
    // A figure beyond what bytes can count is as unreadable as a garbled one.
    if (!(rest >> value) || !(rest >> unit) || unit != "kB" || value < 0 ||
        value > INT64_MAX / 1024)
      continue;
    table[line.substr(0, colon)] = static_cast<int64_t>(value) * 1024;
  }
  return table;
}

bool Lookup(const std::map<std::string, int64_t>& table, const char* key, int64_t* value) {
  const auto it = table.find(key);
  if (it == table.end()) return false;
  *value = it->second;
  return true;
}

// The user address space of a process of this architecture, for an unlimited RLIMIT_AS.
int64_t UserAddressSpace() {
#if defined(__x86_64__)
  return (int64_t{1} << 47) - 4096;
#elif defined(__aarch64__)
  return int64_t{1} << 48;
#elif defined(__LP64__)
  return int64_t{1} << 47;
#else
  return int64_t{3} << 30;
#endif
}

}  // namespace

uint32_t ProcessorTypeOf(const std::string& machine) {
  if (machine == "x86_64" || machine == "amd64") return 8664;
  if (machine == "i386") return 386;
  if (machine == "i486") return 486;
  if (machine == "i586" || machine == "i686") return 586;
  if (machine == "ia64") return 2200;
  return 0;
}

void SplitKernelRelease(const std::string& release, uint32_t* major, uint32_t* minor,
                        uint32_t* build) {
  uint32_t* parts[] = {major, minor, build};
  for (uint32_t* part : parts) *part = 0;
  size_t at = 0;
  for (uint32_t* part : parts) {
    if (at >= release.size() || !std::isdigit(static_cast<unsigned char>(release[at]))) break;
    uint64_t v = 0;
    while (at < release.size() && std::isdigit(static_cast<unsigned char>(release[at]))) {
      v = v * 10 + static_cast<uint64_t>(release[at++] - '0');
      if (v > UINT32_MAX) v = UINT32_MAX;
    }
    *part = static_cast<uint32_t>(v);
    if (at >= release.size() || release[at] != '.') break;
    ++at;
  }
}

PosixSystem::PosixSystem(std::string procRoot) : procRoot_(std::move(procRoot)) {
  const long hz = sysconf(_SC_CLK_TCK);
  tickUnits_ = hz > 0 ? 10000000 / hz : 100000;
}

MemoryStatus PosixSystem::GetMemoryStatus() {
  MemoryStatus m;
  const auto meminfo = ReadKilobyteTable(procRoot_ + "/meminfo");
  m.hasPhysical =
      Lookup(meminfo, "MemTotal", &m.TotalPhys) && Lookup(meminfo, "MemAvailable", &m.AvailPhys);
  // The commit limit binds only in strict overcommit mode, which Linux does not use by
  // default: memory and swap together are what programs can have.
  int64_t swapTotal = 0;
  int64_t swapFree = 0;
  if (m.hasPhysical && Lookup(meminfo, "SwapTotal", &swapTotal) &&
      Lookup(meminfo, "SwapFree", &swapFree)) {
    m.hasPageFile = true;
    m.TotalPageFile = m.TotalPhys + swapTotal;
    m.AvailPageFile = std::min(m.AvailPhys, m.TotalPhys) + std::min(swapFree, swapTotal);
  }
  int64_t used = 0;
  if (Lookup(ReadKilobyteTable(procRoot_ + "/self/status"), "VmSize", &used)) {
    struct rlimit rl;
    m.TotalVirtual = getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY &&
                             rl.rlim_cur < static_cast<rlim_t>(UserAddressSpace())
                         ? static_cast<int64_t>(rl.rlim_cur)
                         : UserAddressSpace();
    m.AvailVirtual = m.TotalVirtual > used ? m.TotalVirtual - used : 0;
    m.hasVirtual = true;
  }
  return m;
}

std::optional<ProcessorInfo> PosixSystem::GetProcessorInfo() {
  const std::optional<int> count = ProcessorCount();
  if (!count) return std::nullopt;
  struct utsname u;
  ProcessorInfo info;
  info.NumberOfProcessors = static_cast<uint32_t>(*count);
  info.ProcessorType = uname(&u) == 0 ? ProcessorTypeOf(u.machine) : 0;
  return info;
}

std::optional<VersionInfo> PosixSystem::GetVersion() {
  struct utsname u;
  if (uname(&u) != 0) return std::nullopt;
  VersionInfo info;
  SplitKernelRelease(u.release, &info.MajorVersion, &info.MinorVersion, &info.BuildNumber);
  info.PlatformId = kPlatformNamed;
  info.FamilyName = u.sysname;
  info.ServicePack = u.version;
  return info;
}

std::optional<std::string> PosixSystem::GetComputerName() {
  char buf[256] = {};
  if (gethostname(buf, sizeof buf - 1) != 0) return std::nullopt;
  return std::string(buf);
}

std::optional<std::string> PosixSystem::GetUserName() {
  std::vector<char> buf(16384);
  struct passwd pw;
  struct passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found)
    return std::nullopt;
  return std::string(found->pw_name);
}

std::optional<int64_t> PosixSystem::IdleTime() {
  std::ifstream in(procRoot_ + "/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  std::istringstream fields(line);
  std::string label;
  fields >> label;
  if (label != "cpu") return std::nullopt;
  // user nice system idle iowait ...: idle is the fourth, iowait the fifth (absent on old kernels)
  long long values[5] = {};
  int count = 0;
  while (count < 5 && fields >> values[count]) {
    if (values[count] < 0) return std::nullopt;
    ++count;
  }
  if (count < 4) return std::nullopt;
  const long long ticks = values[3] + (count == 5 ? std::min(values[4], LLONG_MAX - values[3]) : 0);
  if (ticks > INT64_MAX / tickUnits_) return std::nullopt;
  return ticks * tickUnits_;
}

std::optional<int64_t> PosixSystem::MonotonicTime() {
  struct timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return std::nullopt;
  return static_cast<int64_t>(ts.tv_sec) * 10000000 + ts.tv_nsec / 100;
}

std::optional<int> PosixSystem::ProcessorCount() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  if (n < 1) return std::nullopt;
  return static_cast<int>(n);
}

}  // namespace qv
