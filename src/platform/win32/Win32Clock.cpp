#include "platform/win32/Win32Clock.h"

#include <climits>
#include <utility>

#include "platform/common/NeedsRights.h"
#include "platform/win32/WideText.h"

namespace qv {

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
// 1601-01-01 to 1970-01-01 in seconds.
constexpr int64_t kEpochDifference = 11644473600;
// The last FILETIME that FileTimeToSystemTime accepts.
constexpr int64_t kLastUnits = INT64_MAX;

int64_t UnitsOf(const FILETIME& t) {
  return static_cast<int64_t>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
}

FILETIME FileTimeOf(int64_t units) {
  const auto u = static_cast<uint64_t>(units);
  return FILETIME{static_cast<DWORD>(u & 0xFFFFFFFFu), static_cast<DWORD>(u >> 32)};
}

LocalTime FromSystemTime(const SYSTEMTIME& s) {
  LocalTime t;
  t.year = s.wYear;
  t.month = s.wMonth;
  t.day = s.wDay;
  t.hour = s.wHour;
  t.minute = s.wMinute;
  t.second = s.wSecond;
  t.weekday = s.wDayOfWeek;
  return t;
}

// A time the system would refuse to write stays unwritten rather than wrapped into a valid one.
bool ToSystemTime(const LocalTime& t, SYSTEMTIME* s) {
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 ||
      t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59 ||
      t.weekday < 0 || t.weekday > 6)
    return false;
  *s = SYSTEMTIME{static_cast<WORD>(t.year),    static_cast<WORD>(t.month),
                  static_cast<WORD>(t.weekday), static_cast<WORD>(t.day),
                  static_cast<WORD>(t.hour),    static_cast<WORD>(t.minute),
                  static_cast<WORD>(t.second),  0};
  return true;
}

// Only for the one call: the program keeps no more rights than it uses.
class SystemTimePrivilege {
 public:
  SystemTimePrivilege() {
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token_))
      return;
    TOKEN_PRIVILEGES wanted{};
    wanted.PrivilegeCount = 1;
    wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!LookupPrivilegeValueW(nullptr, L"SeSystemtimePrivilege", &wanted.Privileges[0].Luid))
      return;
    DWORD size = sizeof previous_;
    // Succeeds without the privilege too; SetSystemTime then says 1314.
    adjusted_ =
        AdjustTokenPrivileges(token_, FALSE, &wanted, sizeof previous_, &previous_, &size) &&
        GetLastError() == ERROR_SUCCESS;
  }
  ~SystemTimePrivilege() {
    if (adjusted_) AdjustTokenPrivileges(token_, FALSE, &previous_, 0, nullptr, nullptr);
    if (token_) CloseHandle(token_);
  }
  SystemTimePrivilege(const SystemTimePrivilege&) = delete;
  SystemTimePrivilege& operator=(const SystemTimePrivilege&) = delete;

 private:
  HANDLE token_ = nullptr;
  TOKEN_PRIVILEGES previous_{};
  bool adjusted_ = false;
};

unsigned long SetUtc(int64_t units) {
  SYSTEMTIME s;
  const FILETIME f = FileTimeOf(units);
  if (!FileTimeToSystemTime(&f, &s)) return ERROR_INVALID_PARAMETER;
  const SystemTimePrivilege privilege;
  return SetSystemTime(&s) ? ERROR_SUCCESS : GetLastError();
}

ClockChange Refused(const std::string& reason, const std::string& detail) {
  return ClockChange{false, reason, detail, false};
}

}  // namespace

Win32Clock::Win32Clock(Win32ClockOptions options) : options_(std::move(options)) {
  if (!ToWide(options_.locale, &locale_)) locale_.clear();
}

const wchar_t* Win32Clock::LocaleName() const {
  return locale_.empty() ? LOCALE_NAME_USER_DEFAULT : locale_.c_str();
}

int64_t Win32Clock::Instant() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return UnitsOf(now) / kUnitsPerSecond - kEpochDifference;
}

LocalTime Win32Clock::ToLocal(int64_t instant) const {
  if (instant < -kEpochDifference || instant > kLastUnits / kUnitsPerSecond - kEpochDifference)
    return LocalTime{};
  const FILETIME utc = FileTimeOf((instant + kEpochDifference) * kUnitsPerSecond);
  SYSTEMTIME u, local;
  // The zone's rules for that date, daylight saving time included.
  if (!FileTimeToSystemTime(&utc, &u) || !SystemTimeToTzSpecificLocalTime(nullptr, &u, &local))
    return LocalTime{};
  return FromSystemTime(local);
}

std::unique_ptr<ClockRequest> Win32Clock::StepBy(int64_t seconds) {
  // The step is made on UTC, so that it is exact across a change of daylight saving time.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const int64_t units = UnitsOf(now);
  if (seconds > (kLastUnits - units) / kUnitsPerSecond || seconds < -units / kUnitsPerSecond)
    return std::make_unique<AnsweredClockRequest>(
        Refused("The clock was not set", "the step leaves the years the system can count"));
  const int64_t target = units + seconds * kUnitsPerSecond;
  const unsigned long error = options_.setUtc ? options_.setUtc(target) : SetUtc(target);
  if (error == ERROR_SUCCESS)
    return std::make_unique<AnsweredClockRequest>(ClockChange{true, "", "", false});
  const bool rights = error == ERROR_PRIVILEGE_NOT_HELD || error == ERROR_ACCESS_DENIED;
  return std::make_unique<AnsweredClockRequest>(
      Refused(rights ? kClockNeedsRights : "The clock was not set",
              "SetSystemTime: " + SystemMessage(error)));
}

std::wstring Win32Clock::LocaleInfo(unsigned long type) const {
  wchar_t text[128];
  const int n = GetLocaleInfoEx(LocaleName(), type, text, sizeof text / sizeof text[0]);
  return n > 1 ? std::wstring(text, static_cast<size_t>(n - 1)) : std::wstring();
}

std::string Win32Clock::MonthName(int month) const {
  if (month < 1 || month > 12) return std::string();
  return ToUtf8(LocaleInfo(LOCALE_SMONTHNAME1 + static_cast<unsigned long>(month - 1)));
}

std::string Win32Clock::WeekdayName(int weekday) const {
  if (weekday < 0 || weekday > 6) return std::string();
  // The locale's list starts on Monday.
  const unsigned long day = weekday == 0 ? 6 : static_cast<unsigned long>(weekday - 1);
  return ToUtf8(LocaleInfo(LOCALE_SDAYNAME1 + day));
}

std::string Win32Clock::Format(const LocalTime& t, DateTimeForm form) const {
  SYSTEMTIME s;
  if (!ToSystemTime(t, &s)) return std::string();
  wchar_t text[256];
  const int size = sizeof text / sizeof text[0];
  int n = 0;
  switch (form) {
    case DateTimeForm::LongTime:
      n = GetTimeFormatEx(LocaleName(), 0, &s, nullptr, text, size);
      break;
    case DateTimeForm::ShortTime:
      n = GetTimeFormatEx(LocaleName(), TIME_NOSECONDS, &s, nullptr, text, size);
      break;
    case DateTimeForm::LongDate:
      n = GetDateFormatEx(LocaleName(), DATE_LONGDATE, &s, nullptr, text, size, nullptr);
      break;
    case DateTimeForm::ShortDate:
      n = GetDateFormatEx(LocaleName(), DATE_SHORTDATE, &s, nullptr, text, size, nullptr);
      break;
  }
  return n > 1 ? ToUtf8(std::wstring_view(text, static_cast<size_t>(n - 1))) : std::string();
}

}  // namespace qv
