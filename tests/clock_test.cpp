// The machine clock's setting through a stand-in time service on a private bus, the locale's
// names and forms, and the probe's fake clock.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TestProgram.h"
#include "platform/posix/LocaleClock.h"
#include "platform/posix/PosixClock.h"

namespace qv::test {
namespace {

const char kTimedateXml[] =
    "<node><interface name='org.freedesktop.timedate1'>"
    "<method name='SetTime'><arg type='x' name='usec_utc' direction='in'/>"
    "<arg type='b' name='relative' direction='in'/>"
    "<arg type='b' name='interactive' direction='in'/></method>"
    "</interface></node>";

// org.freedesktop.timedate1 on a private bus: records what it is asked and can refuse.
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
      static const GDBusInterfaceVTable vtable = {&StandInTimeService::OnCall, nullptr, nullptr, {}};
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
  std::vector<Request> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                     const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                     gpointer self) {
    auto* service = static_cast<StandInTimeService*>(self);
    gint64 usec = 0;
    gboolean relative = FALSE, interactive = FALSE;
    g_variant_get(parameters, "(xbb)", &usec, &relative, &interactive);
    const bool mayInteract = (g_dbus_message_get_flags(g_dbus_method_invocation_get_message(
                                  invocation)) &
                              G_DBUS_MESSAGE_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION) != 0;
    std::string refusal;
    {
      std::lock_guard<std::mutex> lock(service->mutex_);
      service->requests_.push_back({usec, relative != FALSE, interactive != FALSE, mayInteract});
      refusal = service->refusal_;
    }
    if (std::string(method) != "SetTime" || refusal.empty())
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
  std::vector<Request> requests_;
};

int64_t LocalUsec(const LocalTime& t) {
  struct tm tm {};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&tm)) * 1000000;
}

TEST(TimeService, SetsThroughTheServiceFallsBackWithoutItAndReportsRefusals) {
  if (!g_find_program_in_path("dbus-daemon")) GTEST_SKIP() << "dbus-daemon is not installed";
  GTestDBus* dbus = g_test_dbus_new(G_TEST_DBUS_NONE);
  g_test_dbus_up(dbus);
  const std::string address = g_test_dbus_get_bus_address(dbus);
  std::vector<int64_t> direct;  // what the stand-in for clock_settime was asked
  int directAnswer = 0;
  PosixClockOptions options;
  options.busAddress = address;
  options.setRealtime = [&](const timespec& ts) {
    direct.push_back(static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000);
    return directAnswer;
  };
  PosixClock clock(options);
  const LocalTime when{2031, 7, 14, 22, 30, 5, 0};

  // No time service on the bus: the clock is set directly, or the refusal says why.
  ClockChange change = clock.Set(when);
  EXPECT_TRUE(change.ok) << change.detail;
  ASSERT_EQ(direct.size(), 1u);
  EXPECT_EQ(direct[0], LocalUsec(when));
  directAnswer = EPERM;
  change = clock.Set(when);
  EXPECT_FALSE(change.ok);
  EXPECT_EQ(change.reason, "Not allowed to set the clock");
  EXPECT_NE(change.detail.find("Operation not permitted"), std::string::npos) << change.detail;

  {
    StandInTimeService service(address);
    ASSERT_TRUE(service.ready());
    direct.clear();
    change = clock.Set(when);
    EXPECT_TRUE(change.ok) << change.detail;
    EXPECT_TRUE(direct.empty());
    auto asked = service.requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].usec, LocalUsec(when));
    EXPECT_FALSE(asked[0].relative);
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
      change = clock.Set(when);
      EXPECT_FALSE(change.ok) << name;
      EXPECT_EQ(change.reason, reason);
      EXPECT_NE(change.detail.find("refused by test"), std::string::npos) << change.detail;
    }
    // A refusal by the service is final: the clock is not set behind its back.
    EXPECT_TRUE(direct.empty());
  }

  // A clock that may not be set asks nobody.
  PosixClock readOnly(PosixClockOptions{false, address, options.setRealtime});
  direct.clear();
  EXPECT_FALSE(readOnly.Set(when).ok);
  EXPECT_TRUE(direct.empty());

  g_test_dbus_down(dbus);
  g_object_unref(dbus);
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
  TestApp app;
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
  layout += "[" + std::to_string(n) + "]\nType=button\nCommand0=datetime;day-\n"
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
