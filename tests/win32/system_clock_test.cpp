// The machine's figures and clock through the Windows services. The clock is never set: its
// setter is a stand-in that records what it was asked.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/Win32Clock.h"
#include "platform/win32/Win32System.h"

namespace qv {
namespace {

TEST(Win32SystemTest, FiguresArePlausible) {
  Win32System system;
  const MemoryStatus m = system.GetMemoryStatus();
  ASSERT_TRUE(m.hasPhysical && m.hasPageFile && m.hasVirtual);
  // Bytes, not kilobytes or pages: any machine that runs this has more than 64 MiB.
  EXPECT_GT(m.TotalPhys, int64_t{64} << 20);
  EXPECT_LE(m.AvailPhys, m.TotalPhys);
  EXPECT_GE(m.TotalPageFile, m.AvailPageFile);
  // A 64-bit process: far more address space than memory on most machines, at least 2 GiB.
  EXPECT_GT(m.TotalVirtual, int64_t{2} << 30);
  EXPECT_LT(m.AvailVirtual, m.TotalVirtual);

  const auto processors = system.GetProcessorInfo();
  ASSERT_TRUE(processors);
  EXPECT_EQ(processors->ProcessorType, 8664u);
  EXPECT_EQ(system.ProcessorCount(), static_cast<int>(processors->NumberOfProcessors));
  EXPECT_GE(processors->NumberOfProcessors, 1u);

  const auto version = system.GetVersion();
  ASSERT_TRUE(version);
  EXPECT_EQ(version->PlatformId, kPlatformWinNt);
  EXPECT_GE(version->MajorVersion, 5u);
  EXPECT_GT(version->BuildNumber, 0u);

  const auto computer = system.GetComputerName();
  const auto user = system.GetUserName();
  ASSERT_TRUE(computer && user);
  EXPECT_FALSE(computer->empty());
  EXPECT_FALSE(user->empty());
  EXPECT_EQ(user->find('\0'), std::string::npos);

  // The meter's counters only ever go forwards.
  const auto idle = system.IdleTime();
  const auto time = system.MonotonicTime();
  ASSERT_TRUE(idle && time);
  Sleep(20);
  EXPECT_GE(system.IdleTime().value_or(-1), *idle);
  EXPECT_GT(system.MonotonicTime().value_or(-1), *time);
}

std::tuple<int, int, int, int, int, int> Fields(const LocalTime& t) {
  return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

TEST(Win32ClockTest, LocalTimeIsTheSystems) {
  Win32Clock clock;
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  const LocalTime now = clock.Now();
  GetLocalTime(&after);
  // Read between two readings of the system's own local time: the epoch, the unit and the
  // time zone are the system's.
  EXPECT_LE(Fields(LocalTime{before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute,
                             before.wSecond}),
            Fields(now));
  EXPECT_LE(Fields(now), Fields(LocalTime{after.wYear, after.wMonth, after.wDay, after.wHour,
                                          after.wMinute, after.wSecond}));
  if (now.day == after.wDay) {
    EXPECT_EQ(now.weekday, after.wDayOfWeek);
  }
}

TEST(Win32ClockTest, NamesAndFormsOfTheLocale) {
  const Win32Clock english({"en-US", {}});
  const LocalTime t{2026, 3, 3, 9, 5, 7, 2};  // a Tuesday
  EXPECT_EQ(english.Format(t, DateTimeForm::LongDate), "Tuesday, March 3, 2026");
  EXPECT_EQ(english.Format(t, DateTimeForm::ShortDate), "3/3/2026");
  EXPECT_EQ(english.Format(t, DateTimeForm::LongTime), "9:05:07 AM");
  EXPECT_EQ(english.Format(t, DateTimeForm::ShortTime), "9:05 AM");
  // A date the system cannot write gives nothing rather than another date.
  EXPECT_EQ(english.Format(LocalTime{2026, 2, 31, 0, 0, 0, 2}, DateTimeForm::ShortDate), "");
  EXPECT_EQ(english.Format(LocalTime{1500, 1, 1, 0, 0, 0, 0}, DateTimeForm::LongDate), "");

  // Names beyond ASCII arrive as UTF-8; the week starts on Sunday at 0.
  const Win32Clock german({"de-DE", {}});
  EXPECT_EQ(german.MonthName(3), "M\xC3\xA4rz");
  EXPECT_EQ(german.MonthName(12), "Dezember");
  EXPECT_EQ(german.WeekdayName(0), "Sonntag");
  EXPECT_EQ(german.WeekdayName(6), "Samstag");
  EXPECT_EQ(german.MonthName(13), "");
}

TEST(Win32ClockTest, StepsAskTheSetterAndReportItsRefusal) {
  std::vector<int64_t> asked;
  unsigned long answer = ERROR_PRIVILEGE_NOT_HELD;
  Win32Clock clock({"", [&](int64_t utc) {
                      asked.push_back(utc);
                      return answer;
                    }});
  const int64_t before = clock.Instant();
  auto refused = clock.StepBy(3600);
  const int64_t after = clock.Instant();
  ASSERT_TRUE(refused->Poll());
  const ClockChange no = refused->Answer();
  EXPECT_FALSE(no.ok);
  EXPECT_FALSE(no.unknown);
  EXPECT_EQ(no.reason, "Setting the clock needs administrator rights");
  EXPECT_NE(no.detail.find("1314"), std::string::npos) << no.detail;
  // The target is the time of the request plus the step, in 100 ns units since 1601.
  ASSERT_EQ(asked.size(), 1u);
  const int64_t target = asked[0] / 10000000 - 11644473600;
  EXPECT_GE(target, before + 3600);
  EXPECT_LE(target, after + 3600);

  answer = ERROR_SUCCESS;
  auto done = clock.StepBy(-86400);
  ASSERT_TRUE(done->Poll());
  EXPECT_TRUE(done->Answer().ok);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_LT(asked[1], asked[0]);

  // Beyond the years the system counts: refused without asking.
  auto distant = clock.StepBy(int64_t{1} << 50);
  ASSERT_TRUE(distant->Poll());
  EXPECT_FALSE(distant->Answer().ok);
  EXPECT_EQ(asked.size(), 2u);
}

}  // namespace
}  // namespace qv
