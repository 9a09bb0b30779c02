// The machine clock's setting through a stand-in time service on a private bus, the locale's
// names and forms, and the probe's fake clock.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LinuxTestProgram.h"
#include "platform/linux/ClockJob.h"
#include "platform/linux/LocaleClock.h"
#include "platform/linux/PosixClock.h"
#include "sysinfo/modDateTime.h"

namespace qv::test {
namespace {

const char kTimedateXml[] =
    "<node><interface name='org.freedesktop.timedate1'>"
    "<method name='SetTime'><arg type='x' name='usec_utc' direction='in'/>"
    "<arg type='b' name='relative' direction='in'/>"
    "<arg type='b' name='interactive' direction='in'/></method>"
    "</interface></node>";

// org.freedesktop.timedate1 on a private bus: records what it is asked, and answers at once,
// after a delay, never, or with a refusal.
class StandInTimeService {
 public:
  struct Request {
    int64_t usec;
    bool relative;
    bool interactive;
    bool mayInteract;  // the message allows interactive authorisation
  };

  explicit StandInTimeService(const std::string& address) {
    context_ = g_main_context_new();
    g_main_context_push_thread_default(context_);
    GError* error = nullptr;
    bus_ = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (bus_) {
      GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kTimedateXml, nullptr);
      static const GDBusInterfaceVTable vtable = {
          &StandInTimeService::OnCall, nullptr, nullptr, {}};
      g_dbus_connection_register_object(bus_, "/org/freedesktop/timedate1", node->interfaces[0],
                                        &vtable, this, nullptr, nullptr);
      g_dbus_node_info_unref(node);
      GVariant* owned = g_dbus_connection_call_sync(
          bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
          "RequestName", g_variant_new("(su)", "org.freedesktop.timedate1", 4u), nullptr,
          G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
      if (owned) g_variant_unref(owned);
    } else {
      g_error_free(error);
    }
    g_main_context_pop_thread_default(context_);
    thread_ = std::thread([this] {
      while (running_) g_main_context_iteration(context_, TRUE);
    });
  }

  ~StandInTimeService() {
    running_ = false;
    g_main_context_wakeup(context_);
    thread_.join();
    for (GDBusMethodInvocation* unanswered : held_) g_object_unref(unanswered);
    if (bus_) {
      g_dbus_connection_close_sync(bus_, nullptr, nullptr);
      g_object_unref(bus_);
    }
    g_main_context_unref(context_);
  }

  bool ready() const { return bus_ != nullptr; }
  void Refuse(const std::string& errorName) {
    std::lock_guard<std::mutex> lock(mutex_);
    refusal_ = errorName;
  }
  // Milliseconds before each answer; below 0: no answer ever.
  void Delay(int ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    delayMs_ = ms;
  }
  // A request came and has no answer yet.
  bool Waiting() {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_ > 0;
  }
  std::vector<Request> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  struct Later {
    StandInTimeService* service;
    GDBusMethodInvocation* invocation;
  };

  static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self) {
    auto* service = static_cast<StandInTimeService*>(self);
    gint64 usec = 0;
    gboolean relative = FALSE, interactive = FALSE;
    g_variant_get(parameters, "(xbb)", &usec, &relative, &interactive);
    const bool mayInteract =
        (g_dbus_message_get_flags(g_dbus_method_invocation_get_message(invocation)) &
         G_DBUS_MESSAGE_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION) != 0;
    int delay = 0;
    {
      std::lock_guard<std::mutex> lock(service->mutex_);
      service->requests_.push_back({usec, relative != FALSE, interactive != FALSE, mayInteract});
      ++service->waiting_;
      delay = service->delayMs_;
    }
    if (delay == 0) return service->Answer(invocation);
    if (delay < 0) return service->held_.push_back(invocation);
    GSource* timer = g_timeout_source_new(static_cast<guint>(delay));
    g_source_set_callback(
        timer,
        [](gpointer data) -> gboolean {
          const Later* later = static_cast<Later*>(data);
          later->service->Answer(later->invocation);
          delete later;
          return G_SOURCE_REMOVE;
        },
        new Later{service, invocation}, nullptr);
    g_source_attach(timer, service->context_);
    g_source_unref(timer);
  }

  void Answer(GDBusMethodInvocation* invocation) {
    std::string refusal;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      refusal = refusal_;
      --waiting_;
    }
    if (refusal.empty())
      g_dbus_method_invocation_return_value(invocation, nullptr);
    else
      g_dbus_method_invocation_return_dbus_error(invocation, refusal.c_str(), "refused by test");
  }

  GMainContext* context_ = nullptr;
  GDBusConnection* bus_ = nullptr;
  std::thread thread_;
  std::atomic<bool> running_{true};
  std::mutex mutex_;
  std::string refusal_;
  int delayMs_ = 0;
  int waiting_ = 0;
  std::vector<Request> requests_;
  std::vector<GDBusMethodInvocation*> held_;  // only touched on the service's thread
};

// A private bus for one test, taken down in every outcome.
class PrivateBus {
 public:
  PrivateBus() : dbus_(g_test_dbus_new(G_TEST_DBUS_NONE)) {
    g_test_dbus_up(dbus_);
    address_ = g_test_dbus_get_bus_address(dbus_);
  }
  ~PrivateBus() {
    g_test_dbus_down(dbus_);
    g_object_unref(dbus_);
  }
  const std::string& address() const { return address_; }

 private:
  GTestDBus* dbus_;
  std::string address_;
};

ClockChange Wait(ClockRequest& request) {
  for (int i = 0; i < 10000 && !request.Poll(); ++i) g_usleep(1000);
  EXPECT_TRUE(request.Poll()) << "no answer after 10 s";
  return request.Answer();
}

TEST(TimeService, StepsRelativelyThroughTheServiceOrDirectlyAndReportsRefusals) {
  if (!g_find_program_in_path("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed";
  PrivateBus bus;
  std::vector<int64_t> direct;  // what the stand-in for clock_settime was asked to step
  int directAnswer = 0;
  PosixClockOptions options;
  options.busAddress = bus.address();
  options.timeoutMs = 5000;
  options.stepRealtime = [&](int64_t usec) {
    direct.push_back(usec);
    return directAnswer;
  };
  PosixClock clock(options);

  // No time service on the bus: the clock is stepped directly, or the refusal says why.
  ClockChange change = Wait(*clock.StepBy(-3600));
  EXPECT_TRUE(change.ok) << change.detail;
  EXPECT_EQ(direct, std::vector<int64_t>{-3600 * int64_t{1000000}});
  directAnswer = EPERM;
  change = Wait(*clock.StepBy(1));
  EXPECT_FALSE(change.ok);
  EXPECT_EQ(change.reason, "Not allowed to set the clock");
  EXPECT_NE(change.detail.find("Operation not permitted"), std::string::npos) << change.detail;

  {
    StandInTimeService service(bus.address());
    ASSERT_TRUE(service.ready());
    direct.clear();
    change = Wait(*clock.StepBy(31 * 86400));
    EXPECT_TRUE(change.ok) << change.detail;
    EXPECT_TRUE(direct.empty());
    auto asked = service.requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].usec, 31 * 86400 * int64_t{1000000});
    EXPECT_TRUE(asked[0].relative);
    EXPECT_TRUE(asked[0].interactive);
    EXPECT_TRUE(asked[0].mayInteract);

    const std::pair<const char*, const char*> refusals[] = {
        {"org.freedesktop.timedate1.AutomaticTimeSyncEnabled",
         "Automatic time synchronisation is on"},
        {"org.freedesktop.DBus.Error.AccessDenied", "Not allowed to set the clock"},
        {"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired",
         "Not allowed to set the clock"},
        {"org.freedesktop.DBus.Error.Failed", "The clock was not set"},
    };
    for (const auto& [name, reason] : refusals) {
      service.Refuse(name);
      change = Wait(*clock.StepBy(1));
      EXPECT_FALSE(change.ok || change.unknown) << name;
      EXPECT_EQ(change.reason, reason);
      EXPECT_NE(change.detail.find("refused by test"), std::string::npos) << change.detail;
    }
    // A refusal by the service is final: the clock is not set behind its back.
    EXPECT_TRUE(direct.empty());
  }

  // A service that goes away while it holds the request may have acted first.
  {
    auto service = std::make_unique<StandInTimeService>(bus.address());
    ASSERT_TRUE(service->ready());
    service->Delay(-1);
    const std::unique_ptr<ClockRequest> request = clock.StepBy(60);
    for (int i = 0; i < 5000 && !service->Waiting(); ++i) {
      request->Poll();
      g_usleep(1000);
    }
    ASSERT_TRUE(service->Waiting());
    service.reset();
    change = Wait(*request);
    EXPECT_TRUE(change.unknown && !change.ok) << change.reason << ": " << change.detail;
    EXPECT_TRUE(direct.empty());
  }

  // A clock that may not be set asks nobody.
  PosixClock readOnly(PosixClockOptions{false, bus.address(), options.stepRealtime, 5000});
  direct.clear();
  EXPECT_FALSE(Wait(*readOnly.StepBy(1)).ok);
  EXPECT_TRUE(direct.empty());
}

TEST(TimeService, TheWindowGoesOnWhileTheServiceDecidesAndSaysWhenNoAnswerCame) {
  if (!g_find_program_in_path("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed";
  PrivateBus bus;
  StandInTimeService service(bus.address());
  ASSERT_TRUE(service.ready());
  PosixClockOptions options;
  options.busAddress = bus.address();
  options.timeoutMs = 1500;
  options.stepRealtime = [](int64_t) { return EPERM; };  // never the machine's clock
  PosixClock clock(options);
  LinuxTestApp app(0, {}, {}, &clock);
  app.WriteSettings(1024, 768);
  app.WriteSkin({"Mainscreen"});
  app.WriteLayout("Mainscreen",
                  "[0]\nType=textbox\nCommand0=datetime;status\nPosition=10;10;600;20\n"
                  "Font=arial;10;0;0;255|255|255;1\n"
                  "[1]\nType=button\nCommand0=datetime;second+\nPosition=100;600;60;60\n");
  ASSERT_TRUE(app.Start());
  Program& p = app.program();
  const ButtonElement& button = p.tables.Buttons.at(0);
  auto pointer = [&](EventType type) {
    Event e;
    e.type = type;
    e.x = static_cast<float>(button.Left + button.Width / 2);
    e.y = static_cast<float>(button.Top + button.Height / 2);
    return e;
  };
  auto status = [&] { return p.tables.TextBoxes.at(0).Text; };
  int ticksWhileAsked = 0;
  p.reactions.timerTicked[kClockTimer].push_back([&](Program&) {
    if (service.Waiting()) ++ticksWhileAsked;
  });
  bool pressedAgain = false;
  p.onYield = [&](Program&) {
    Event tick;
    tick.type = EventType::TimerTick;
    tick.timer = kClockTimer;
    app.events().Push(tick);
    // A second tap while the first step is asked for is no second step.
    if (service.Waiting() && !pressedAgain) {
      pressedAgain = true;
      app.events().Push(pointer(EventType::PointerDown));
      app.events().Push(pointer(EventType::PointerUp));
    }
  };

  service.Delay(300);
  app.Click(button.Left + button.Width / 2.0, button.Top + button.Height / 2.0);
  EXPECT_GT(ticksWhileAsked, 0) << "the window stood still while the service decided";
  EXPECT_TRUE(pressedAgain);
  auto asked = service.requests();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].usec, 1000000);
  EXPECT_TRUE(asked[0].relative);
  EXPECT_EQ(status(), "");

  // A service that never answers: the window goes on, then the screen says so.
  service.Delay(-1);
  ticksWhileAsked = 0;
  pressedAgain = true;
  app.Click(button.Left + button.Width / 2.0, button.Top + button.Height / 2.0);
  EXPECT_GT(ticksWhileAsked, 0);
  EXPECT_EQ(service.requests().size(), 2u);
  EXPECT_EQ(status(), "No answer from the time service: the clock may have changed");
  EXPECT_TRUE(app.diag().Mentions("did not answer")) << "nothing in the log";
  p.onYield = nullptr;
}

// A stand-in for pkexec and the helper: notes its arguments, then ends as told.
struct StandInHelper {
  TempDir dir;
  std::string program = dir.path() + "/helper";
  StandInHelper() {
    std::ofstream(program) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << dir.path()
                           << "/asked'\n. '" << dir.path() << "/end'\n";
    chmod(program.c_str(), 0755);
    EndWith(0);
  }
  // With `status` after `wait` seconds; negative: not before it is stopped.
  void EndWith(int status, double wait = 0) {
    std::ofstream end(dir.path() + "/end");
    if (wait < 0)
      end << "exec sleep 60\n";  // the stop reaches the sleep itself
    else
      end << "sleep " << wait << "\nexit " << status << "\n";
    std::filesystem::remove(dir.path() + "/asked");
  }
  std::string Asked() const { return ReadWholeFile(dir.path() + "/asked"); }
};

TEST(TimeService, WithoutTheServiceAUserSetsTheTimeThroughTheHelper) {
  if (!g_find_program_in_path("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed";
  PrivateBus bus;  // where nobody offers the service
  StandInHelper helper;
  bool stepped = false;
  PosixClockOptions options;
  options.busAddress = bus.address();
  options.timeoutMs = 5000;
  options.stepRealtime = [&](int64_t) {
    stepped = true;
    return EPERM;  // never the machine's clock
  };
  options.helperCommand = {helper.program, "set-clock"};
  options.asRoot = false;
  PosixClock clock(options);

  // The time the step leads to, in seconds since 1970.
  const int64_t before = clock.Instant();
  ClockChange change = Wait(*clock.StepBy(-3600));
  const int64_t after = clock.Instant();
  EXPECT_TRUE(change.ok) << change.detail;
  const std::string asked = helper.Asked();
  ASSERT_EQ(asked.rfind("set-clock\n", 0), 0u) << asked;
  const int64_t time = std::stoll(asked.substr(10));
  EXPECT_GE(time, before - 3600);
  EXPECT_LE(time, after - 3600 + 1);

  // Not authorised, dismissed, no pkexec: the screen says what is missing.
  const std::string needsRights = "Setting the clock needs administrator rights";
  for (int status : {126, 127, 2, 1}) {
    helper.EndWith(status);
    change = Wait(*clock.StepBy(60));
    EXPECT_FALSE(change.ok || change.unknown) << status;
    EXPECT_EQ(change.reason, status >= 126 ? needsRights : "The clock was not set") << status;
    EXPECT_NE(change.detail.find(std::to_string(status)), std::string::npos) << change.detail;
  }
  options.helperCommand = {helper.dir.path() + "/no-pkexec"};
  change = Wait(*PosixClock(options).StepBy(60));
  EXPECT_EQ(change.reason, needsRights) << change.detail;
  EXPECT_FALSE(stepped);

  // A helper still asking when the wait is over is stopped: nothing is set behind the screen.
  helper.EndWith(0, -1);
  options.helperCommand = {helper.program};
  options.timeoutMs = 300;
  change = Wait(*PosixClock(options).StepBy(60));
  EXPECT_TRUE(change.unknown && !change.ok) << change.reason;
}

// The helper's job takes exactly one time in seconds since 1970, and sets nothing else.
TEST(ClockJob, TakesOneTimeInRangeAndNothingElse) {
  EXPECT_EQ(ParseClockTime("0"), int64_t{0});
  EXPECT_EQ(ParseClockTime("1767225600"), int64_t{1767225600});
  EXPECT_EQ(ParseClockTime("01767225600"), int64_t{1767225600});
  EXPECT_EQ(ParseClockTime(std::to_string(kLatestClockTime)), kLatestClockTime);
  for (const char* bad : {"", "-1", "+1", " 1", "1 ", "1\n", "1e9", "0x10", "12.5", "253402300800",
                          "999999999999", "0001767225600", "99999999999999999999999", "\xd9\xa1"})
    EXPECT_FALSE(ParseClockTime(bad).has_value()) << bad;

  std::vector<int64_t> set;
  int answer = 0;
  const auto setter = [&](int64_t t) {
    set.push_back(t);
    return answer;
  };
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"1767225600", "1"}, {"-5"}, {"now"}})
    EXPECT_EQ(SetClockJobWith(args, setter), 2) << args.size();
  EXPECT_TRUE(set.empty());
  EXPECT_EQ(SetClockJobWith({"1767225600"}, setter), 0);
  answer = EPERM;
  EXPECT_EQ(SetClockJobWith({"1767225601"}, setter), 1);
  EXPECT_EQ(set, (std::vector<int64_t>{1767225600, 1767225601}));
}

// TZ for one test, put back in every outcome.
class ZoneForTest {
 public:
  explicit ZoneForTest(const char* zone) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (old) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneForTest() {
    if (had_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

int64_t Utc(int year, int month, int day, int hour, int minute, int second = 0) {
  struct tm tm {};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return static_cast<int64_t>(timegm(&tm));
}

TEST(ClockSteps, HoursStepRealTimeAndDaysTheCalendarAcrossDaylightSaving) {
  if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin"))
    GTEST_SKIP() << "no time zone data (package tzdata)";
  ZoneForTest berlin("Europe/Berlin");
  PosixClock zone(PosixClockOptions{false, "", nullptr, 0});
  // 29 March 2026 02:00 CET becomes 03:00 CEST, 25 October 2026 03:00 CEST becomes 02:00 CET,
  // both at 01:00 UTC.
  struct Case {
    int64_t now;
    const char* command;
    int64_t then;
    const char* what;
  };
  const Case cases[] = {
      {Utc(2026, 3, 29, 1, 30), "hour-", Utc(2026, 3, 29, 0, 30), "03:30 CEST, an hour back"},
      {Utc(2026, 3, 29, 0, 30), "hour+", Utc(2026, 3, 29, 1, 30), "01:30 CET, an hour on"},
      {Utc(2026, 3, 29, 0, 59, 59), "second+", Utc(2026, 3, 29, 1, 0), "01:59:59 CET"},
      {Utc(2026, 10, 25, 1, 30), "hour-", Utc(2026, 10, 25, 0, 30), "02:30 CET, an hour back"},
      {Utc(2026, 3, 28, 1, 30), "day+", Utc(2026, 3, 29, 1, 0), "02:30 CET, a day on: gap"},
      {Utc(2026, 3, 30, 0, 30), "day-", Utc(2026, 3, 29, 1, 0), "02:30 CEST, a day back: gap"},
      {Utc(2025, 3, 29, 1, 30), "year+", Utc(2026, 3, 29, 1, 0), "a year on into the gap"},
      {Utc(2026, 10, 24, 0, 30), "day+", Utc(2026, 10, 25, 0, 30), "into 02:30 shown twice"},
      {Utc(2026, 10, 26, 1, 30), "day-", Utc(2026, 10, 25, 1, 30), "back into 02:30 CET"},
      {Utc(2026, 3, 3, 22, 59, 30), "minute+", Utc(2026, 3, 2, 23, 0, 30), "midnight wraps"},
      {Utc(2024, 2, 29, 11, 0), "year+", Utc(2025, 2, 28, 11, 0), "29 February"},
  };
  for (const Case& c : cases) {
    int64_t seconds = 0;
    ASSERT_TRUE(StepSeconds(zone, c.now, c.command, &seconds)) << c.what;
    EXPECT_EQ(c.now + seconds, c.then) << c.what << " (" << c.command << ")";
  }
  // Nothing before the year 1 to step to.
  int64_t seconds = 0;
  EXPECT_FALSE(StepSeconds(zone, Utc(1, 6, 15, 12, 0), "year-", &seconds));
  EXPECT_FALSE(StepSeconds(zone, Utc(1, 1, 1, 12, 0), "day-", &seconds));
  EXPECT_TRUE(StepSeconds(zone, Utc(1, 1, 1, 12, 0), "day+", &seconds));
  EXPECT_EQ(seconds, 86400);
}

TEST(LocaleForms, TakenFromTheLocalesOwnFormats) {
  EXPECT_EQ(TimeFormatWithoutSeconds("%H:%M:%S"), "%H:%M");
  EXPECT_EQ(TimeFormatWithoutSeconds("%r"), "%I:%M %p");
  EXPECT_EQ(TimeFormatWithoutSeconds("%H時%M分%S秒"), "%H時%M分");
  EXPECT_EQ(TimeFormatWithoutSeconds("%T"), "%H:%M");
  EXPECT_EQ(LongDateFormat("%a %b %e %H:%M:%S %Y"), "%A %B %-d %Y");
  EXPECT_EQ(LongDateFormat("%a %d %b %Y %r %Z"), "%A %-d %B %Y");
  EXPECT_EQ(LongDateFormat("%Y年%m月%d日 %H時%M分%S秒"), "%Y年%m月%-d日");
  EXPECT_EQ(LongDateFormat("%Y年%m月%d日 %A %H时%M分%S秒"), "%Y年%m月%-d日 %A");
  EXPECT_EQ(LongDateFormat("%a %-d. %b %H:%M:%S %Z %Y"), "%A %-d. %B %Y");
  EXPECT_EQ(LongDateFormat("%A %-e %B %Y, %H:%M:%S (UTC%z)"), "%A %-d %B %Y");
}

TEST(ProbeClock, FakeClockStepsWithTheLocalesNamesAndSurvivesAMissingLocale) {
  LinuxTestApp app;
  app.WriteSettings(1024, 768);
  app.WriteSkin({"Mainscreen", "datetime"});
  std::string layout;
  int n = 0;
  for (const char* f : {"year", "month", "day", "hour", "minute", "second", "monthname",
                        "weekdayname", "longtime", "shorttime", "longdate", "shortdate"}) {
    layout += "[" + std::to_string(n) + "]\nType=textbox\nCommand0=datetime;" + f +
              "\nPosition=" + std::to_string(10 + 30 * n) + ";10;400;20\n" +
              "Font=arial;10;0;0;255|255|255;1\n";
    ++n;
  }
  layout += "[" + std::to_string(n) +
            "]\nType=button\nCommand0=datetime;day-\n"
            "Position=10;600;60;60\n";
  app.WriteLayout("Mainscreen", layout);
  TempDir out;
  const std::string script =
      "dump a.json\npress datetime day-\ndump b.json\nadvance 86400\ndump c.json\n"
      "tick clock\ndump d.json\n";
  const std::string clock = "--clock '2024-03-01 23:59:58'";
  auto dump = [&](const char* file) { return ReadWholeFile(out.path() + "/" + file); };

  // An installed locale gives its names and forms.
  TempDir locales;
  if (CompileLocale(locales.path(), "de_DE.UTF-8", "de_DE")) {
    ProbeResult r = app.RunProbe(script, out.path(), clock,
                                 "env LC_ALL= LOCPATH='" + locales.path() + "' LANG=de_DE.UTF-8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(DumpText(dump("a.json"), "datetime", "monthname"), "März");
    EXPECT_EQ(DumpText(dump("a.json"), "datetime", "weekdayname"), "Freitag");
    EXPECT_EQ(DumpText(dump("a.json"), "datetime", "shortdate"), "01.03.2024");
    EXPECT_EQ(DumpText(dump("a.json"), "datetime", "longtime"), "23:59:58");
    EXPECT_EQ(DumpText(dump("a.json"), "datetime", "shorttime"), "23:59");
    // day- reaches back over the leap day; advance alone shows nothing until a tick.
    EXPECT_EQ(DumpText(dump("b.json"), "datetime", "day"), "29");
    EXPECT_EQ(DumpText(dump("b.json"), "datetime", "monthname"), "Februar");
    EXPECT_EQ(DumpText(dump("c.json"), "datetime", "day"), "29");
    EXPECT_EQ(DumpText(dump("d.json"), "datetime", "day"), "01");
    EXPECT_EQ(DumpText(dump("d.json"), "datetime", "longdate"), "Freitag 1. März 2024")
        << "the long date of de_DE";
  } else {
    ADD_FAILURE() << "localedef could not compile de_DE (package locales)";
  }

  // A locale that is not installed: the C names, no crash.
  ProbeResult r = app.RunProbe(script, out.path(), clock, "env LC_ALL= LANG=xx_XX.UTF-8");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(DumpText(dump("a.json"), "datetime", "monthname"), "March");
  EXPECT_EQ(DumpText(dump("d.json"), "datetime", "shortdate"), "03/01/24");

  // Without --clock the machine's clock is read and never set.
  r = app.RunProbe("press datetime day-\n", out.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("cannot set the clock"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace qv::test
