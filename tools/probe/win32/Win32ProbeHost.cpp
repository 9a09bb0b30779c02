// The probe on Windows: the Windows display without a window, drives of the machine itself.
#include <cctype>
#include <filesystem>
#include <utility>

#include "app/win32/Win32Platform.h"
#include "platform/common/DosPath.h"
#include "platform/win32/WicPictureCodec.h"
#include "platform/win32/WicPngFile.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"
#include "probe/ProbeHost.h"

namespace probe {

namespace fs = std::filesystem;

namespace {

// 100 ns units from 1601 to 1970.
constexpr int64_t kEpochTicks = 116444736000000000;
constexpr int64_t kTicksPerSecond = 10000000;

// Starts at a given local time and moves only when told or set. It has no time zone, so every
// local time exists exactly once; names and forms are the machine's.
class FakeClock : public qv::Clock {
 public:
  explicit FakeClock(const qv::LocalTime& start) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(start.year);
    st.wMonth = static_cast<WORD>(start.month);
    st.wDay = static_cast<WORD>(start.day);
    st.wHour = static_cast<WORD>(start.hour);
    st.wMinute = static_cast<WORD>(start.minute);
    st.wSecond = static_cast<WORD>(start.second);
    FILETIME ft{};
    if (SystemTimeToFileTime(&st, &ft)) {
      const int64_t ticks = (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
      seconds_ = (ticks - kEpochTicks) / kTicksPerSecond;
    }
  }

  int64_t Instant() override { return seconds_; }
  qv::LocalTime ToLocal(int64_t instant) const override {
    const int64_t ticks = instant * kTicksPerSecond + kEpochTicks;
    FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME st{};
    if (ticks < 0 || !FileTimeToSystemTime(&ft, &st)) return qv::LocalTime{};
    return qv::LocalTime{st.wYear,   st.wMonth,  st.wDay,      st.wHour,
                         st.wMinute, st.wSecond, st.wDayOfWeek};
  }
  std::unique_ptr<qv::ClockRequest> StepBy(int64_t seconds) override {
    seconds_ += seconds;
    return std::make_unique<qv::AnsweredClockRequest>(qv::ClockChange{true, "", "", false});
  }
  std::string MonthName(int month) const override { return names_.MonthName(month); }
  std::string WeekdayName(int weekday) const override { return names_.WeekdayName(weekday); }
  std::string Format(const qv::LocalTime& t, qv::DateTimeForm form) const override {
    return names_.Format(t, form);
  }

  void Advance(int64_t seconds) { seconds_ += seconds; }

 private:
  int64_t seconds_ = 0;
  qv::Win32Clock names_;
};

// The probe never sets the machine's clock.
unsigned long RefuseSetting(int64_t) {
  return ERROR_PRIVILEGE_NOT_HELD;
}

std::vector<char> Letters(const std::vector<qv::DriveMapping>& drives) {
  std::vector<char> letters;
  for (const qv::DriveMapping& d : drives) letters.push_back(d.letter);
  return letters;
}

class Win32ProbeHost : public ProbeHost {
 public:
  Win32ProbeHost(std::vector<qv::DriveMapping> drives, const std::string& appHost,
                 const std::optional<qv::LocalTime>& fakeClock)
      : letters_(Letters(drives)),
        platform_({.drives = letters_,
                   .appFolder = appHost,
                   .display = qv::Win32DisplayOptions{.headless = true},
                   .clock = {.locale = "", .setUtc = RefuseSetting}}) {
    if (fakeClock) fakeClock_ = std::make_unique<FakeClock>(*fakeClock);
  }

  qv::Platform Services(qv::EventSource& events) override {
    return platform_.Services({.events = &events, .clock = fakeClock_.get()});
  }
  qv::EventSource& WindowEvents() override { return platform_.events(); }
  qv::Display& display() override { return platform_.display(); }
  void MoveCursor(int screenX, int screenY) override {
    platform_.display().MoveCursor(screenX, screenY);
  }
  std::string DosPathForHost(const std::string& hostFolder) override {
    const std::optional<qv::DosPath> split = qv::SplitDosPath(hostFolder);
    if (!split) return std::string();
    for (const char letter : letters_)
      if (letter == split->letter) return qv::JoinDosPath(split->letter, split->names);
    return std::string();
  }
  bool AdvanceFakeClock(int64_t seconds) override {
    if (!fakeClock_) return false;
    fakeClock_->Advance(seconds);
    return true;
  }

 private:
  std::vector<char> letters_;
  qv::Win32Platform platform_;
  std::unique_ptr<FakeClock> fakeClock_;
};

}  // namespace

const char kDriveUsage[] =
    "       --drive on Windows: HOSTDIR is the root of drive L of this machine (L:\\); "
    "device= is not supported";

std::unique_ptr<ProbeHost> MakeProbeHost(std::vector<qv::DriveMapping> drives,
                                         const std::string& appHost,
                                         const std::optional<qv::LocalTime>& fakeClock) {
  return std::make_unique<Win32ProbeHost>(std::move(drives), appHost, fakeClock);
}

// Windows offers whole drives, so a drive is its own root: a folder below it would stand for
// more than it holds.
bool CheckDrive(qv::DriveMapping* drive, std::string* error) {
  if (!drive->device.empty()) {
    *error = "device= is not supported on Windows";
    return false;
  }
  std::string root = drive->hostFolder;
  if (root.size() == 2) root += '\\';
  const bool isRoot = root.size() == 3 && root[1] == ':' && (root[2] == '\\' || root[2] == '/') &&
                      std::toupper(static_cast<unsigned char>(root[0])) == drive->letter;
  if (!isRoot) {
    *error = std::string("HOSTDIR must be the root of drive ") + drive->letter + ": (" +
             drive->letter + ":\\)";
    return false;
  }
  root = std::string(1, drive->letter) + ":\\";
  std::wstring wide;
  qv::ToWide(root, &wide);
  const UINT type = GetDriveTypeW(wide.c_str());
  if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN) {
    *error = root + " is no drive of this machine";
    return false;
  }
  drive->hostFolder = root;
  return true;
}

std::vector<qv::DriveMapping> ShotsDrives(const fs::path& appFolder) {
  const std::string path = appFolder.string();
  if (path.size() < 2 || path[1] != ':' || !std::isalpha(static_cast<unsigned char>(path[0])))
    return {};  // a network path: no drive of this machine
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
  return {qv::DriveMapping{letter, std::string(1, letter) + ":\\", ""}};
}

bool WriteSurfacePng(const std::string& path, const qv::Surface& surface, std::string* error) {
  return qv::WriteSurfacePng(path, surface, error);
}

const qv::PictureCodec& SkinPictureCodec() {
  static const qv::WicPictureCodec codec;
  return codec;
}

}  // namespace probe
