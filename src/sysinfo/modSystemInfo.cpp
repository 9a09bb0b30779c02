#include "sysinfo/modSystemInfo.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/Convert.h"
#include "core/Program.h"
#include "sysinfo/clsCPU.h"
#include "sysinfo/modDateTime.h"
#include "widgets/modDriveList.h"
#include "widgets/modStatusbar.h"
#include "widgets/modTextBox.h"

namespace qv {

namespace {

constexpr double kMegabyte = 1048576.0;
const char kGroup[] = "systeminfo";

void Text(Program& p, const char* name, const std::string& text) {
  SetText(p, kGroup, name, text);
}

// Two amounts in the memory form and the bar of the share in use, 100 ÷ total × (total −
// available); a total of 0 has no share and the bar keeps its value.
void MemoryFigures(Program& p, const char* totalBox, const char* availableBox, const char* bar,
                   double total, double available) {
  SetText(p, kGroup, totalBox, MemoryText(total));
  SetText(p, kGroup, availableBox, MemoryText(available));
  if (total == 0) return;
  SetProgress(p, kGroup, bar,
              static_cast<int32_t>(RoundHalfEven(100.0 / total * (total - available))));
}

}  // namespace

std::string MemoryText(double bytes) {
  return PlainDecimal(bytes / kMegabyte, 2) + " MB";
}

std::string DriveSizeText(double megabytes) {
  std::string text = megabytes >= 1024 ? " " + PlainDecimal(megabytes / 1024, 3) + " GB"
                                       : " " + PlainDecimal(megabytes, 2) + " MB";
  for (char& c : text)
    if (c == '.') c = ',';
  return text;
}

std::string SerialText(uint32_t serial) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", serial);
  const std::string hex = buf;
  return hex.substr(0, 4) + "-" + hex.substr(4);
}

void CreateCpuMeter(Program& p) {
  p.sysinfo.cpu = std::make_shared<clsCPU>(p.os.system);
}

void UpdateMemoryInfo(Program& p) {
  if (p.sysinfo.cpu)
    SetProgress(p, kGroup, "cpu",
                static_cast<int32_t>(RoundHalfEven(p.sysinfo.cpu->CurrentCPUUsage())));
  const MemoryStatus m = p.os.system.GetMemoryStatus();
  if (m.hasPhysical)
    MemoryFigures(p, "totalram", "freeram", "ram", static_cast<double>(m.TotalPhys),
                  static_cast<double>(m.AvailPhys));
  if (m.hasVirtual)
    MemoryFigures(p, "totalvirtualram", "freevirtualram", "virtualram",
                  static_cast<double>(m.TotalVirtual), static_cast<double>(m.AvailVirtual));
  if (m.hasPageFile)
    MemoryFigures(p, "totalpagefiles", "freepagefiles", "page",
                  std::abs(static_cast<double>(m.TotalPageFile)),
                  std::abs(static_cast<double>(m.AvailPageFile)));
}

void UpdateSystemInfo(Program& p) {
  const std::string drive = GetChosenDrive(p, kGroup, "maindrive").substr(0, 2);
  const Result<FreeSpace> space = p.os.files.GetFreeSpace(drive);
  if (!space.ok()) {
    for (const char* name : {"freespace", "volumename", "filesystem", "totalspace", "serialnumber"})
      Text(p, name, "-");
    return;
  }
  const double size = static_cast<double>(space->total) / kMegabyte;
  const double free = static_cast<double>(space->freeToCaller) / kMegabyte;
  Text(p, "totalspace", DriveSizeText(size));
  if (size != 0)
    SetProgress(p, kGroup, "hdd",
                static_cast<int32_t>(RoundHalfEven((size - free) / (size / 100))));
  Text(p, "freespace", DriveSizeText(free));

  // The names are only there when the volume could be read; the serial number is shown anyway.
  const Result<VolumeInfo> volume = p.os.files.GetVolumeInfo(drive.substr(0, 1) + ":\\");
  if (volume.ok()) {
    Text(p, "filesystem", volume->fileSystem);
    Text(p, "volumename", volume->label);
  }
  Text(p, "serialnumber", SerialText(volume.value_or({}).serial));

  if (const std::optional<std::string> name = p.os.system.GetComputerName())
    Text(p, "computername", *name);
  Text(p, "username", p.os.system.GetUserName().value_or(std::string()));

  const std::optional<ProcessorInfo> cpuInfo = p.os.system.GetProcessorInfo();
  const bool haveCpu = cpuInfo.has_value();
  const ProcessorInfo cpu = cpuInfo.value_or(ProcessorInfo{});
  const std::optional<VersionInfo> versionInfo = p.os.system.GetVersion();
  const bool haveVersion = versionInfo.has_value();
  const VersionInfo version = versionInfo.value_or(VersionInfo{});
  if (haveVersion) {
    switch (version.PlatformId) {
      case kPlatformWin32s:
        Text(p, "os", "Windows 32s");
        break;
      case kPlatformWin9x:
        Text(p, "os", "Windows 95/98/ME");
        break;
      case kPlatformWinNt:
        Text(p, "os", "Windows NT/2000/XP");
        break;
      case kPlatformNamed:
        Text(p, "os", version.FamilyName);
        break;
      default:
        break;
    }
  }
  if (haveCpu) {
    Text(p, "numberofprocessors", std::to_string(cpu.NumberOfProcessors));
    Text(p, "processortype", std::to_string(cpu.ProcessorType));
  }
  if (haveVersion) {
    Text(p, "version",
         " " + std::to_string(version.MajorVersion) + "." + std::to_string(version.MinorVersion));
    Text(p, "build", " " + std::to_string(version.BuildNumber) + " (" + version.ServicePack + ")");
  }
}

void RegisterSystemInfoReactions(Program& p) {
  p.reactions.timerTicked[kCpuTimer].push_back([](Program& q) {
    UpdateMemoryInfo(q);
    UpdateSystemInfo(q);
  });
  p.reactions.timerTicked[kClockTimer].push_back([](Program& q) { UpdateClock(q); });
  p.reactions.screenShown.push_back([](Program& q) {
    UpdateClock(q);
    UpdateMemoryInfo(q);
    UpdateSystemInfo(q);
  });
  p.reactions.driveChosen.Register(kGroup, "maindrive",
                                   [](Program& q, int16_t, bool) { UpdateSystemInfo(q); });
}

}  // namespace qv
