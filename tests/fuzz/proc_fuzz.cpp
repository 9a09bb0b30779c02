// The /proc files the system information and the junk cleaner's in-use test read, from a
// folder of the fuzzer's own: the input, cut at NUL bytes, is meminfo, self/status, stat,
// net/unix and one process's maps.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/linux/PosixInUse.h"
#include "platform/linux/PosixSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static char folder[] = "/tmp/quorvin-fuzz-proc-XXXXXX";
  static const std::string root = [] {
    const std::string r = mkdtemp(folder);
    for (const char* sub : {"/self", "/net", "/1"}) mkdir((r + sub).c_str(), 0700);
    return r;
  }();
  static const char* const kFiles[] = {"/meminfo", "/self/status", "/stat", "/net/unix", "/1/maps"};
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t at = 0;
  for (const char* name : kFiles) {
    const size_t end = at <= input.size() ? input.find('\0', at) : std::string::npos;
    std::ofstream(root + name, std::ios::binary | std::ios::trunc)
        << (at <= input.size() ? input.substr(at, end == std::string::npos ? end : end - at) : "");
    at = end == std::string::npos ? input.size() + 1 : end + 1;
  }
  qv::PosixSystem system(root);
  const qv::MemoryStatus m = system.GetMemoryStatus();
  if (m.AvailPageFile < 0 || m.AvailVirtual < 0) __builtin_trap();
  const std::optional<int64_t> idle = system.IdleTime();
  if (idle && *idle < 0) __builtin_trap();
  qv::InUseSet inUse;
  qv::GatherInUse(root, &inUse);
  return 0;
}
