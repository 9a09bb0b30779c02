// The processor-load meter, the system-information page and the clock fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestProgram.h"
#include "core/Program.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"
#include "sysinfo/clsCPU.h"
#include "sysinfo/modDateTime.h"
#include "sysinfo/modSystemInfo.h"
#include "widgets/modDriveList.h"
#include "widgets/modStatusbar.h"

namespace qv::test {
namespace {

constexpr int64_t kSecond = 10000000;  // 100 ns units
constexpr int64_t kMiB = 1 << 20;

TEST(CpuMeter, ReadsZeroToHundredOverIntervalsLongEnoughToMean) {
  FakeSystem s;
  s.processors = 2;
  s.now = 100 * kSecond;  // since the system started
  s.idle = 10 * kSecond;
  clsCPU cpu(s);
  // Right after start the counters moved by one tick at most: the first reading is the
  // average since the system started, not that tick.
  s.now += kSecond / 1000;
  s.idle += kSecond / 100;
  EXPECT_NEAR(cpu.CurrentCPUUsage(), 95, 0.01);
  // One of two processors idle for the whole quarter second.
  s.now += kSecond / 4;
  s.idle += kSecond / 4;
  EXPECT_FLOAT_EQ(cpu.CurrentCPUUsage(), 50);
  // Too soon after, the reading stands and the sample stays for the longer interval.
  s.now += kSecond / 1000;
  s.idle += kSecond / 100;
  EXPECT_FLOAT_EQ(cpu.CurrentCPUUsage(), 50);
  s.now += kSecond - kSecond / 1000;
  s.idle += kSecond / 2 - kSecond / 100;
  EXPECT_FLOAT_EQ(cpu.CurrentCPUUsage(), 75);
  // A failed query reports 0 and keeps the sample: the next call covers both intervals.
  s.now += kSecond;
  s.idle += kSecond;
  s.timeFails = true;
  EXPECT_FLOAT_EQ(cpu.CurrentCPUUsage(), 0);
  s.timeFails = false;
  s.now += kSecond;
  s.idle += 2 * kSecond;
  EXPECT_FLOAT_EQ(cpu.CurrentCPUUsage(), 25);  // 3 s idle of 2 x 2 s
  // Idle counted beyond the processors' time, or counted back, stays within the range.
  s.now += kSecond;
  s.idle += 3 * kSecond;
  EXPECT_FLOAT_EQ(cpu.CurrentCPUUsage(), 0);
  s.now += kSecond;
  s.idle -= kSecond / 10;
  EXPECT_FLOAT_EQ(cpu.CurrentCPUUsage(), 100);
  // Without a processor count nothing is divided, but the sample is taken.
  s.processors = 0;
  s.now += kSecond;
  EXPECT_FLOAT_EQ(cpu.CurrentCPUUsage(), 0);
  s.processors = 1;
  s.now += kSecond;
  s.idle += kSecond / 2;
  EXPECT_FLOAT_EQ(cpu.CurrentCPUUsage(), 50);

  // A construction whose query failed measures from the system's start.
  s.idleFails = true;
  clsCPU fromZero(s);
  s.idleFails = false;
  s.now = 10 * kSecond;
  s.idle = 5 * kSecond;
  EXPECT_FLOAT_EQ(fromZero.CurrentCPUUsage(), 50);
}

TEST(SystemInfoForms, MemoryDriveAndSerialForms) {
  EXPECT_EQ(MemoryText(512.0 * kMiB), "512 MB");
  EXPECT_EQ(MemoryText(511.999 * kMiB), "512 MB");
  EXPECT_EQ(MemoryText(511.5 * kMiB), "511.5 MB");
  EXPECT_EQ(MemoryText(0), "0 MB");
  // 64-bit amounts: the address space of a 64-bit process.
  EXPECT_EQ(MemoryText(static_cast<double>(int64_t{1} << 47)), "134217728 MB");
  EXPECT_EQ(DriveSizeText(1024), " 1 GB");
  EXPECT_EQ(DriveSizeText(1023.5), " 1023,5 MB");
  EXPECT_EQ(DriveSizeText(76319), " 74,53 GB");
  EXPECT_EQ(DriveSizeText(1536), " 1,5 GB");
  EXPECT_EQ(DriveSizeText(500), " 500 MB");
  EXPECT_EQ(DriveSizeText(8.0 * 1024 * 1024 * 1024), " 8388608 GB");
  EXPECT_EQ(SerialText(0xA1B2C3), "00A1-B2C3");
  EXPECT_EQ(SerialText(0xDEADBEEF), "DEAD-BEEF");
}

const char* const kInfoBoxes[] = {"totalram",
                                  "freeram",
                                  "totalvirtualram",
                                  "freevirtualram",
                                  "totalpagefiles",
                                  "freepagefiles",
                                  "totalspace",
                                  "freespace",
                                  "filesystem",
                                  "volumename",
                                  "serialnumber",
                                  "computername",
                                  "username",
                                  "os",
                                  "numberofprocessors",
                                  "processortype",
                                  "version",
                                  "build"};
const char* const kInfoBars[] = {"cpu", "ram", "virtualram", "page", "hdd"};
const char* const kClockFields[] = {"year",     "month",     "day",         "second",   "minute",
                                    "hour",     "monthname", "weekdayname", "longtime", "shorttime",
                                    "longdate", "shortdate", "status"};

std::string Font() {
  return "Font=arial;10;0;0;255|255|255;1\n";
}

// A screen with one text box per name of the group, stacked.
std::string Boxes(const std::string& group, const std::vector<std::string>& names,
                  const std::string& type, int* section, int left) {
  std::string s;
  int top = 10;
  for (const std::string& n : names) {
    s += "[" + std::to_string((*section)++) + "]\nType=" + type + "\nCommand0=" + group + ";" + n +
         "\nPosition=" + std::to_string(top) + ";" + std::to_string(left) + ";300;20\n" + Font();
    top += 30;
  }
  return s;
}

class SystemInfoScreens : public ::testing::Test {
 protected:
  SystemInfoScreens() : app(1) {
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen", "systeminfo", "datetime", "other"});
    int n = 0;
    app.WriteLayout("Mainscreen",
                    "[0]\nType=statusbar\nCommand0=systeminfo;cpu\nPosition=10;10;200;20\n" +
                        Font() +
                        "[1]\nType=textbox\nCommand0=datetime;shorttime\nPosition=40;10;"
                        "200;20\n" +
                        Font());
    std::string info =
        "[0]\nType=drivelist\nCommand0=systeminfo;maindrive\nPosition=10;600;300;"
        "20\n" +
        Font() + "MenuColor=0|0|0\nMenuFontColor=0|255|0\n";
    n = 1;
    info += Boxes("systeminfo", {std::begin(kInfoBoxes), std::end(kInfoBoxes)}, "textbox", &n, 10);
    info += Boxes("systeminfo", {std::begin(kInfoBars), std::end(kInfoBars)}, "statusbar", &n, 320);
    app.WriteLayout("systeminfo", info);
    n = 0;
    std::string clock =
        Boxes("datetime", {std::begin(kClockFields), std::end(kClockFields)}, "textbox", &n, 10);
    int top = 10;
    for (const char* step : {"year+", "day+", "month-", "second+"}) {
      clock += "[" + std::to_string(n++) + "]\nType=button\nCommand0=datetime;" + step +
               "\nCommand1=loadscreen;other\nPosition=" + std::to_string(top) + ";700;60;60\n";
      top += 70;
    }
    app.WriteLayout("datetime", clock);
    app.WriteLayout("other",
                    "[0]\nType=textbox\nCommand0=other;box\nPosition=10;10;100;20\n" + Font());
    FakeSystem& s = app.system();
    s.memory.hasPhysical = true;
    s.memory.TotalPhys = 512 * kMiB;
    s.memory.AvailPhys = 128 * kMiB;
    s.memory.hasVirtual = true;
    s.memory.TotalVirtual = int64_t{1} << 47;
    s.memory.AvailVirtual = (int64_t{1} << 47) - 64 * kMiB;
    s.memory.hasPageFile = true;  // a machine without swap: totals of 0
  }

  Program& p() { return app.program(); }
  std::string Text(const std::string& group, const std::string& name) {
    for (const TextBoxElement& b : p().tables.TextBoxes)
      if (b.HasKey(group, name)) return b.Text;
    return "<none>";
  }
  int Percent(const std::string& name) {
    for (const StatusBarElement& b : p().tables.StatusBars)
      if (b.HasKey("systeminfo", name)) return b.Percent;
    return -999;
  }
  void Tick(int timer) {
    Event e;
    e.type = EventType::TimerTick;
    e.timer = timer;
    HandleEvent(p(), e);
  }
  void Press(const std::string& group, const std::string& name) {
    for (const ButtonElement& b : p().tables.Buttons)
      if (b.HasKey(group, name)) {
        app.Click(b.Left + b.Width / 2.0, b.Top + b.Height / 2.0);
        return;
      }
    ADD_FAILURE() << "no button " << name;
  }

  TestApp app;
};

TEST_F(SystemInfoScreens, PageShowsTheFiguresAndKeepsWhatCannotBeRead) {
  ASSERT_TRUE(app.Start());
  ShowScreen(p(), "systeminfo");
  EXPECT_EQ(Text("systeminfo", "totalram"), "512 MB");
  EXPECT_EQ(Text("systeminfo", "freeram"), "128 MB");
  EXPECT_EQ(Percent("ram"), 75);
  EXPECT_EQ(Text("systeminfo", "totalvirtualram"), "134217728 MB");
  EXPECT_EQ(Percent("virtualram"), 0);
  // No swap: a total of 0 shows as such, and its bar keeps its value.
  EXPECT_EQ(Text("systeminfo", "totalpagefiles"), "0 MB");
  EXPECT_EQ(Percent("page"), 0);
  EXPECT_EQ(Text("systeminfo", "computername"), "testhost");
  EXPECT_EQ(Text("systeminfo", "username"), "tester");
  EXPECT_EQ(Text("systeminfo", "os"), "Linux");
  EXPECT_EQ(Text("systeminfo", "numberofprocessors"), "2");
  EXPECT_EQ(Text("systeminfo", "processortype"), "8664");
  EXPECT_EQ(Text("systeminfo", "version"), " 6.1");
  EXPECT_EQ(Text("systeminfo", "build"), " 0 (#1 SMP)");
  const Result<FreeSpace> space = app.files().GetFreeSpace("C:\\");
  ASSERT_TRUE(space.ok());
  EXPECT_EQ(Text("systeminfo", "totalspace"), DriveSizeText(space->total / 1048576.0));
  const int hdd = Percent("hdd");
  EXPECT_GT(hdd, 0);
  EXPECT_EQ(Text("systeminfo", "serialnumber").size(), 9u);
  EXPECT_NE(Text("systeminfo", "filesystem"), "-");

  // Choose D: in the drive list (the release that opens and the one that closes both refresh),
  // then D: vanishes: its five boxes show "-", the rest keeps what it showed.
  const ListElement& list = p().tables.DriveLists[0];
  app.Click(list.Left + 10, list.Top + list.RowHeight / 2.0);
  ASSERT_TRUE(p().tables.DriveLists[0].MenuOpen);
  EXPECT_FALSE(app.events().TimerEnabled(kCpuTimer));
  app.Click(list.Left + 10, list.Top + 2.5 * list.RowHeight);
  ASSERT_EQ(GetChosenDrive(p(), "systeminfo", "maindrive").substr(0, 2), "D:");
  EXPECT_TRUE(app.events().TimerEnabled(kCpuTimer));
  app.files().RemoveDrive('D');
  SetProgress(p(), "systeminfo", "hdd", 33);
  app.system().computer = "renamed";
  Tick(kCpuTimer);
  for (const char* box : {"freespace", "volumename", "filesystem", "totalspace", "serialnumber"})
    EXPECT_EQ(Text("systeminfo", box), "-") << box;
  EXPECT_EQ(Percent("hdd"), 33);
  EXPECT_EQ(Text("systeminfo", "computername"), "testhost");

  // Memory that cannot be read keeps the figures shown; the meter still runs.
  app.system().memory.hasPhysical = false;
  app.system().now += kSecond;
  Tick(kCpuTimer);
  EXPECT_EQ(Text("systeminfo", "totalram"), "512 MB");
  EXPECT_EQ(Percent("cpu"), 100);
}

TEST_F(SystemInfoScreens, TicksChangeNothingVisibleOnOtherScreens) {
  ASSERT_TRUE(app.Start());
  ShowScreen(p(), "other");
  const Surface& back = *p().skin.BackBuffer;
  std::vector<uint32_t> before;
  for (int y = 0; y < back.Height(); y += 3)
    for (int x = 0; x < back.Width(); x += 3) before.push_back(app.Pixel(x, y));
  app.system().memory.AvailPhys = 1 * kMiB;
  app.system().now += kSecond;
  app.clock().Advance(3661);
  for (int i = 0; i < 4; ++i) {
    Tick(kCpuTimer);
    Tick(kClockTimer);
  }
  std::vector<uint32_t> after;
  for (int y = 0; y < back.Height(); y += 3)
    for (int x = 0; x < back.Width(); x += 3) after.push_back(app.Pixel(x, y));
  EXPECT_TRUE(before == after);
  // The same ticks do reach the main screen's clock and processor bar.
  ShowScreen(p(), "Mainscreen");
  EXPECT_EQ(Text("datetime", "shorttime"), "10:06");
  app.system().now += kSecond;
  app.system().idle += kSecond;
  Tick(kCpuTimer);
  EXPECT_EQ(Percent("cpu"), 50);
}

TEST(ClockSteps, FollowTheCalendar) {
  struct Case {
    LocalTime from;
    const char* command;
    LocalTime to;
  };
  const Case cases[] = {
      {{2025, 12, 31, 12, 0, 0}, "day+", {2026, 1, 1, 12, 0, 0}},
      {{2026, 1, 1, 12, 0, 0}, "day-", {2025, 12, 31, 12, 0, 0}},
      {{2026, 3, 31, 8, 0, 0}, "month-", {2026, 2, 28, 8, 0, 0}},
      {{2024, 3, 31, 8, 0, 0}, "month-", {2024, 2, 29, 8, 0, 0}},
      {{2026, 1, 31, 8, 0, 0}, "month+", {2026, 2, 28, 8, 0, 0}},
      {{2026, 12, 15, 8, 0, 0}, "month+", {2027, 1, 15, 8, 0, 0}},
      {{2024, 2, 29, 8, 0, 0}, "year+", {2025, 2, 28, 8, 0, 0}},
      {{2024, 2, 29, 8, 0, 0}, "year-", {2023, 2, 28, 8, 0, 0}},
      {{2024, 2, 28, 8, 0, 0}, "day+", {2024, 2, 29, 8, 0, 0}},
      {{2100, 2, 28, 8, 0, 0}, "day+", {2100, 3, 1, 8, 0, 0}},
      {{2026, 4, 30, 8, 0, 0}, "day+", {2026, 5, 1, 8, 0, 0}},
      // Times wrap within their date.
      {{2026, 3, 3, 23, 30, 0}, "hour+", {2026, 3, 3, 0, 30, 0}},
      {{2026, 3, 3, 0, 0, 0}, "second-", {2026, 3, 3, 23, 59, 59}},
      {{2026, 12, 31, 23, 59, 59}, "second+", {2026, 12, 31, 0, 0, 0}},
      {{2026, 3, 3, 23, 59, 0}, "minute+", {2026, 3, 3, 0, 0, 0}},
      {{2026, 3, 3, 0, 0, 0}, "minute-", {2026, 3, 3, 23, 59, 0}},
      {{2026, 3, 3, 0, 10, 0}, "hour-", {2026, 3, 3, 23, 10, 0}},
  };
  for (const Case& c : cases) {
    LocalTime r;
    ASSERT_TRUE(StepDateTime(c.from, c.command, &r)) << c.command;
    EXPECT_EQ(
        std::vector<int>({r.year, r.month, r.day, r.hour, r.minute, r.second}),
        std::vector<int>({c.to.year, c.to.month, c.to.day, c.to.hour, c.to.minute, c.to.second}))
        << c.command << " from " << c.from.year << "-" << c.from.month << "-" << c.from.day;
  }
  // Nothing before the year 1, and no table read for a month that is none.
  LocalTime r;
  EXPECT_FALSE(StepDateTime(LocalTime{1, 6, 15, 8, 0, 0}, "year-", &r));
  EXPECT_FALSE(StepDateTime(LocalTime{1, 1, 31, 8, 0, 0}, "month-", &r));
  EXPECT_FALSE(StepDateTime(LocalTime{1, 1, 1, 8, 0, 0}, "day-", &r));
  EXPECT_FALSE(StepDateTime(LocalTime{2026, 13, 1, 8, 0, 0}, "day+", &r));
  EXPECT_FALSE(StepDateTime(LocalTime{}, "week+", &r));
  EXPECT_FALSE(StepDateTime(LocalTime{}, "day", &r));
}

TEST_F(SystemInfoScreens, ClockFieldsStepsAndARefusedChange) {
  ASSERT_TRUE(app.Start());
  ShowScreen(p(), "datetime");
  const std::vector<std::string> fields = {"year",     "month",     "day",       "second",
                                           "minute",   "hour",      "monthname", "weekdayname",
                                           "longtime", "shorttime", "longdate",  "shortdate"};
  std::vector<std::string> shown;
  for (const std::string& f : fields) shown.push_back(Text("datetime", f));
  EXPECT_EQ(shown,
            (std::vector<std::string>{"2026", "03", "03", "07", "05", "09", "March", "Tuesday",
                                      "09:05:07", "09:05", "Tuesday March 3 2026", "03/03/26"}));
  Press("datetime", "day+");
  EXPECT_EQ(p().skin.CurrentScreen, "other");
  ShowScreen(p(), "datetime");
  EXPECT_EQ(Text("datetime", "day"), "04");
  EXPECT_EQ(Text("datetime", "weekdayname"), "Wednesday");
  EXPECT_EQ(Text("datetime", "second"), "07");

  // Refused: the reason on the screen, one line in the log, the command ends before the
  // fields are refreshed and before its next pair.
  app.clock().SetAnswer({false, "Not allowed to set the clock", "polkit said no"});
  app.clock().Advance(1);
  Press("datetime", "second+");
  EXPECT_EQ(p().skin.CurrentScreen, "datetime");
  EXPECT_EQ(Text("datetime", "status"), "Not allowed to set the clock");
  EXPECT_EQ(Text("datetime", "second"), "07");
  int lines = 0;
  for (const std::string& l : app.diag().lines)
    if (l.find("cannot set the clock: polkit said no") != std::string::npos) ++lines;
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(app.clock().Now().second, 8);
  // Once the clock can be set again the reason goes.
  app.clock().SetAnswer({true, "", ""});
  Press("datetime", "month-");
  ShowScreen(p(), "datetime");
  EXPECT_EQ(Text("datetime", "status"), "");
  EXPECT_EQ(Text("datetime", "month"), "02");
  EXPECT_EQ(Text("datetime", "day"), "04");
}

}  // namespace
}  // namespace qv::test
