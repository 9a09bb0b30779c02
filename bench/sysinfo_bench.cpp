// The processor-load timer: what one tick costs on the system-information screen and on the
// main screen, and how the meter compares with the load read independently from /proc/stat
// while one core is kept busy.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/linux/LinuxPlatform.h"
#include "core/Program.h"
#include "platform/Platform.h"
#include "platform/linux/StderrDiagnostics.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"
#include "shell/modDeclares.h"
#include "sysinfo/clsCPU.h"

namespace {

using Steady = std::chrono::steady_clock;

void Figure(const std::string& name, double value, const char* unit) {
  std::printf("%s: %.4g %s\n", name.c_str(), value, unit);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The real program's platform: the machine's drives, /proc, its clock (read only).
struct RealProgram {
  explicit RealProgram(const std::string& appDir, bool window)
      : posix({.appHost = appDir,
               .display = qv::SdlDisplayOptions{.headless = !window},
               .clock = qv::PosixClockOptions{false, "", nullptr},
               .checkEngine = false}),
        display(posix.display()),
        program(posix.Services()) {}
  qv::LinuxPlatform posix;
  qv::SdlDisplay& display;
  qv::Program program;
};

// One CPUTimer tick (both routines) and its presentation.
double TickMs(RealProgram& r) {
  qv::Event e;
  e.type = qv::EventType::TimerTick;
  e.timer = qv::kCpuTimer;
  const auto start = Steady::now();
  qv::HandleEvent(r.program, e);
  r.display.Flush();
  return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

void TickCosts(RealProgram& r, const std::string& screen, const std::string& label) {
  qv::ShowScreen(r.program, screen);
  r.display.Flush();
  // At the timer's own pace, so that the figures change between ticks as they do in use.
  std::vector<double> paced;
  for (int i = 0; i < 24; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(qv::kCpuTimerInterval));
    paced.push_back(TickMs(r));
  }
  std::vector<double> burst;
  for (int i = 0; i < 400; ++i) burst.push_back(TickMs(r));
  Figure("cputick_" + label + "_paced_median", Median(paced), "ms");
  Figure("cputick_" + label + "_paced_max", *std::max_element(paced.begin(), paced.end()), "ms");
  Figure("cputick_" + label + "_burst_median", Median(burst), "ms");
  Figure("cputick_" + label + "_core_share", Median(paced) * 4 / 1000 * 100, "% of a core");
}

// Busy and idle+iowait jiffies of the aggregate line.
bool ReadStat(long long* total, long long* idle) {
  std::ifstream in("/proc/stat");
  std::string line;
  if (!std::getline(in, line)) return false;
  std::istringstream f(line);
  std::string label;
  f >> label;
  long long v = 0;
  *total = 0;
  *idle = 0;
  // user nice system idle iowait irq softirq steal (guest time is inside user)
  for (int k = 0; k < 8 && f >> v; ++k) {
    *total += v;
    if (k == 3 || k == 4) *idle += v;
  }
  return label == "cpu";
}

int MeterAgainstProcStat() {
  const pid_t busy = fork();
  if (busy == 0) {
    volatile unsigned long n = 0;
    for (;;) n = n + 1;
  }
  if (busy < 0) throw std::runtime_error("cannot start the load");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  qv::PosixSystem system;
  {
    // Right after start the meter has had no interval worth measuring.
    qv::clsCPU fresh(system);
    Figure("meter_first_reading", fresh.CurrentCPUUsage(), "%");
    long long total = 0, idle = 0;
    ReadStat(&total, &idle);
    Figure("procstat_load_since_boot", total > 0 ? 100.0 * (1.0 - double(idle) / double(total)) : 0,
           "%");
  }
  qv::clsCPU meter(system);
  long long total0 = 0, idle0 = 0;
  ReadStat(&total0, &idle0);
  const long long firstTotal = total0, firstIdle = idle0;
  std::vector<double> diffs;
  double meterSum = 0;
  const int kIntervals = 40;
  for (int i = 0; i < kIntervals; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(qv::kCpuTimerInterval));
    const float load = meter.CurrentCPUUsage();
    long long total = 0, idle = 0;
    ReadStat(&total, &idle);
    const double independent =
        total > total0 ? 100.0 * (1.0 - double(idle - idle0) / double(total - total0)) : 0;
    diffs.push_back(std::fabs(load - independent));
    meterSum += load;
    total0 = total;
    idle0 = idle;
  }
  kill(busy, SIGKILL);
  waitpid(busy, nullptr, 0);
  const double whole = 100.0 * (1.0 - double(idle0 - firstIdle) / double(total0 - firstTotal));
  Figure("meter_processors", static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN)), "");
  Figure("meter_mean_load", meterSum / kIntervals, "%");
  Figure("procstat_load_whole_run", whole, "%");
  Figure("meter_minus_procstat_whole_run", std::fabs(meterSum / kIntervals - whole), "points");
  Figure("meter_minus_procstat_median_tick", Median(diffs), "points");
  Figure("meter_minus_procstat_max_tick", *std::max_element(diffs.begin(), diffs.end()), "points");
  std::sort(diffs.begin(), diffs.end());
  Figure("meter_minus_procstat_p90_tick", diffs[diffs.size() * 9 / 10], "points");
  return 0;
}

}  // namespace

int SysinfoBench(const std::string& appDir, bool window) {
  {
    RealProgram r(appDir, window);
    if (!qv::StartUp(r.program)) return 1;
    TickCosts(r, "systeminfo", window ? "systeminfo_window" : "systeminfo");
    TickCosts(r, "Mainscreen", window ? "mainscreen_window" : "mainscreen");
  }
  return window ? 0 : MeterAgainstProcStat();
}
