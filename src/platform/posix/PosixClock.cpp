#include "platform/posix/PosixClock.h"

#include <gio/gio.h>

#include <cerrno>
#include <cstring>

namespace qv {

namespace {

LocalTime FromTm(const struct tm& tm) {
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.weekday = tm.tm_wday;
  return t;
}

ClockChange Refused(const std::string& reason, const std::string& detail) {
  return ClockChange{false, reason, detail};
}

enum class Answer { Done, NoService, Refused };

// Errors that mean nobody offers the time service on that bus.
bool MeansNoService(const std::string& name) {
  static const char* const kNames[] = {
      "org.freedesktop.DBus.Error.ServiceUnknown",   "org.freedesktop.DBus.Error.NameHasNoOwner",
      "org.freedesktop.DBus.Error.UnknownMethod",    "org.freedesktop.DBus.Error.UnknownObject",
      "org.freedesktop.DBus.Error.UnknownInterface", "org.freedesktop.DBus.Error.NotSupported"};
  for (const char* n : kNames)
    if (name == n) return true;
  return name.rfind("org.freedesktop.DBus.Error.Spawn.", 0) == 0;
}

std::string ReasonOf(const std::string& name) {
  if (name == "org.freedesktop.timedate1.AutomaticTimeSyncEnabled")
    return "Automatic time synchronisation is on";
  if (name == "org.freedesktop.DBus.Error.AccessDenied" ||
      name == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired" ||
      name.rfind("org.freedesktop.PolicyKit1.Error.", 0) == 0)
    return "Not allowed to set the clock";
  return "The clock was not set";
}

// SetTime(usec since 1970, relative, interactive) of org.freedesktop.timedate1.
Answer AskTimeService(const std::string& address, int64_t usec, std::string* errorName,
                      std::string* message) {
  GError* error = nullptr;
  GDBusConnection* bus =
      address.empty()
          ? g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error)
          : g_dbus_connection_new_for_address_sync(
                address.c_str(),
                static_cast<GDBusConnectionFlags>(
                    G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, nullptr, &error);
  if (!bus) {
    *message = error ? error->message : "no system bus";
    if (error) g_error_free(error);
    return Answer::NoService;
  }
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.timedate1", "/org/freedesktop/timedate1", "org.freedesktop.timedate1",
      "SetTime", g_variant_new("(xbb)", static_cast<gint64>(usec), FALSE, TRUE), nullptr,
      G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION, -1, nullptr, &error);
  Answer answer = Answer::Done;
  if (reply) {
    g_variant_unref(reply);
  } else {
    gchar* remote = g_dbus_error_get_remote_error(error);
    *errorName = remote ? remote : "";
    g_free(remote);
    g_dbus_error_strip_remote_error(error);
    *message = error->message;
    g_error_free(error);
    answer = MeansNoService(*errorName) ? Answer::NoService : Answer::Refused;
  }
  if (!address.empty()) g_dbus_connection_close_sync(bus, nullptr, nullptr);
  g_object_unref(bus);
  return answer;
}

}  // namespace

PosixClock::PosixClock(PosixClockOptions options, locale_t locale)
    : LocaleClock(locale), options_(std::move(options)) {}

LocalTime PosixClock::Now() {
  const time_t now = time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  return FromTm(tm);
}

ClockChange PosixClock::Set(const LocalTime& t) {
  if (!options_.maySet)
    return Refused("The clock cannot be set here", "this run only reads the machine's clock");
  struct tm tm = TmOf(t);
  const time_t when = mktime(&tm);
  if (when == static_cast<time_t>(-1))
    return Refused("The clock was not set", "the time cannot be expressed on this system");
  std::string errorName;
  std::string message;
  const Answer answer =
      AskTimeService(options_.busAddress, static_cast<int64_t>(when) * 1000000, &errorName,
                     &message);
  if (answer == Answer::Done) return ClockChange{true, "", ""};
  if (answer == Answer::Refused)
    return Refused(ReasonOf(errorName), "the time service refused: " + message);
  const timespec ts{when, 0};
  const int result = options_.setRealtime ? options_.setRealtime(ts)
                                          : (clock_settime(CLOCK_REALTIME, &ts) == 0 ? 0 : errno);
  if (result == 0) return ClockChange{true, "", ""};
  return Refused(result == EPERM ? "Not allowed to set the clock" : "The clock was not set",
                 "no time service (" + message + "), and clock_settime: " +
                     std::strerror(result));
}

FixedClock::FixedClock(const LocalTime& start, locale_t locale) : LocaleClock(locale) {
  struct tm tm = TmOf(start);
  tm.tm_isdst = 0;
  seconds_ = static_cast<int64_t>(timegm(&tm));
}

LocalTime FixedClock::Now() {
  const time_t t = static_cast<time_t>(seconds_);
  struct tm tm {};
  gmtime_r(&t, &tm);
  return FromTm(tm);
}

ClockChange FixedClock::Set(const LocalTime& t) {
  ++setCalls_;
  if (!answer_.ok) return answer_;
  struct tm tm = TmOf(t);
  tm.tm_isdst = 0;
  seconds_ = static_cast<int64_t>(timegm(&tm));
  return ClockChange{true, "", ""};
}

}  // namespace qv
