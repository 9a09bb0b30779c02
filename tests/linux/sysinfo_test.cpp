// The Linux system queries: the monotonic clock and the /proc files.
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "LinuxTestProgram.h"
#include "platform/linux/PosixSystem.h"

namespace qv::test {
namespace {

constexpr int64_t kSecond = 10000000;  // 100 ns units

TEST(PosixSystemClock, IntervalsComeFromTheMonotonicClock) {
  // A clock that setting the time does not move.
  auto units = [](const timespec& ts) { return int64_t{ts.tv_sec} * kSecond + ts.tv_nsec / 100; };
  PosixSystem machine;
  timespec before{}, after{};
  clock_gettime(CLOCK_MONOTONIC, &before);
  const std::optional<int64_t> now = machine.MonotonicTime();
  clock_gettime(CLOCK_MONOTONIC, &after);
  ASSERT_TRUE(now);
  EXPECT_GE(*now, units(before));
  EXPECT_LE(*now, units(after));
}

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

TEST(PosixSystemProc, MissingTruncatedAndOddFiles) {
  TempDir root;
  const std::filesystem::path proc = root.path();
  PosixSystem system(root.path());
  // Nothing there.
  EXPECT_FALSE(system.IdleTime());
  MemoryStatus m = system.GetMemoryStatus();
  EXPECT_FALSE(m.hasPhysical || m.hasPageFile || m.hasVirtual);

  const int64_t tick = 10000000 / sysconf(_SC_CLK_TCK);
  WriteText(proc / "stat", "cpu  10 0 5 1000 20 0 0 0 0 0\ncpu0 5 0 2 500 10\n");
  EXPECT_EQ(system.IdleTime(), 1020 * tick);
  WriteText(proc / "stat", "cpu  10 0 5 1000\n");  // no iowait column
  EXPECT_EQ(system.IdleTime(), 1000 * tick);
  for (const char* bad : {"cpu  10 0 5\n", "cpu0 1 2 3 4 5\n", "", "cpu  a b c d e\n",
                          "cpu  1 2 3 -4 5\n", "cpu  1 2 3 9223372036854775807 5\n"}) {
    WriteText(proc / "stat", bad);
    EXPECT_FALSE(system.IdleTime()) << bad;
  }

  // A healthy machine whose programs have reserved more than the commit limit, which Linux
  // does not enforce by default: the page file is memory and swap together.
  WriteText(proc / "meminfo",
            "MemTotal:       1048576 kB\nMemFree: 1 kB\nMemAvailable:    262144 kB\n"
            "SwapTotal:       2097152 kB\nSwapFree:        1048576 kB\n"
            "CommitLimit:     2097152 kB\nCommitted_AS:    3000000 kB\n");
  WriteText(proc / "self" / "status", "Name:\tx\nVmSize:\t    4096 kB\n");
  m = system.GetMemoryStatus();
  ASSERT_TRUE(m.hasPhysical && m.hasPageFile && m.hasVirtual);
  EXPECT_EQ(m.TotalPhys, int64_t{1} << 30);
  EXPECT_EQ(m.AvailPhys, int64_t{1} << 28);
  EXPECT_EQ(m.TotalPageFile, int64_t{3} << 30);
  EXPECT_EQ(m.AvailPageFile, (int64_t{5} << 30) / 4);
  EXPECT_EQ(m.TotalVirtual - m.AvailVirtual, 4096 * 1024);

  // Truncated in the middle of a line, and values in another unit.
  WriteText(proc / "meminfo", "MemTotal:       1048576 kB\nMemAvailable:    262");
  EXPECT_FALSE(system.GetMemoryStatus().hasPhysical);
  WriteText(proc / "meminfo",
            "MemTotal: 1048576 MB\nMemAvailable: 2 kB\nSwapTotal: x kB\n"
            "SwapFree: 99999999999999999 kB\n");
  m = system.GetMemoryStatus();
  EXPECT_FALSE(m.hasPhysical || m.hasPageFile);

  uint32_t major = 0, minor = 0, build = 0;
  SplitKernelRelease("6.1.0-18-amd64", &major, &minor, &build);
  EXPECT_EQ(std::vector<uint32_t>({major, minor, build}), std::vector<uint32_t>({6, 1, 0}));
  SplitKernelRelease("6.18.44-fc", &major, &minor, &build);
  EXPECT_EQ(std::vector<uint32_t>({major, minor, build}), std::vector<uint32_t>({6, 18, 44}));
  SplitKernelRelease("weird", &major, &minor, &build);
  EXPECT_EQ(std::vector<uint32_t>({major, minor, build}), std::vector<uint32_t>({0, 0, 0}));
  EXPECT_EQ(ProcessorTypeOf("x86_64"), 8664u);
  EXPECT_EQ(ProcessorTypeOf("i686"), 586u);
  EXPECT_EQ(ProcessorTypeOf("riscv64"), 0u);
}

}  // namespace
}  // namespace qv::test
