#include "platform/linux/PosixClock.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "platform/common/NeedsRights.h"
#include "platform/linux/ChildProcess.h"
#include "platform/linux/PrivilegedHelper.h"

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
  return ClockChange{false, reason, detail, false};
}

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

const char kNoAnswer[] = "No answer from the time service: the clock may have changed";

// The service, or the bus between, went away after the request was delivered: it may have
// acted on it before.
bool LeftWithoutAnswer(const GError* error, const std::string& name) {
  return name == "org.freedesktop.DBus.Error.NoReply" ||
         name == "org.freedesktop.DBus.Error.Disconnected" ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
         g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_DISCONNECTED) ||
         g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CLOSED);
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

int StepRealtime(int64_t usec) {
  struct timespec ts;
  if (clock_gettime(CLOCK_REALTIME, &ts) != 0) return errno;
  ts.tv_sec += static_cast<time_t>(usec / 1000000);
  ts.tv_nsec += static_cast<long>(usec % 1000000) * 1000;
  if (ts.tv_nsec < 0) {
    ts.tv_nsec += 1000000000;
    --ts.tv_sec;
  } else if (ts.tv_nsec >= 1000000000) {
    ts.tv_nsec -= 1000000000;
    ++ts.tv_sec;
  }
  if (ts.tv_sec < 0) return EINVAL;
  return clock_settime(CLOCK_REALTIME, &ts) == 0 ? 0 : errno;
}

int64_t MonotonicMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// One SetTime call on its way. GIO's callbacks each hold a reference, so the call outlives a
// request that was dropped before its answer came.
struct ServiceCall {
  ServiceCall(const PosixClockOptions& o, int64_t step) : options(o), usec(step) {}
  ~ServiceCall() {
    // Still asking for authorisation: nothing may be set behind a request given up.
    if (helper.running()) {
      helper.Signal(SIGTERM);
      helper.Wait();
    }
    if (bus) {
      if (!options.busAddress.empty()) g_dbus_connection_close(bus, nullptr, nullptr, nullptr);
      g_object_unref(bus);
    }
    g_object_unref(cancel);
  }
  ServiceCall(const ServiceCall&) = delete;
  ServiceCall& operator=(const ServiceCall&) = delete;

  void Finish(ClockChange a) {
    answer = std::move(a);
    done = true;
  }
  // Where nobody offers the service the clock is stepped here, by the helper unless root.
  void StepDirectly(const std::string& why) {
    if (!(options.asRoot ? *options.asRoot : geteuid() == 0)) return StartHelper(why);
    const int result = options.stepRealtime ? options.stepRealtime(usec) : StepRealtime(usec);
    if (result == 0) return Finish(ClockChange{true, "", "", false});
    Finish(Refused(result == EPERM ? "Not allowed to set the clock" : "The clock was not set",
                   "no time service (" + why + "), and clock_settime: " + std::strerror(result)));
  }

  void StartHelper(const std::string& why) {
    detail = "no time service (" + why + ")";
    // The job takes a time: the one the step leads to now, to the nearest second.
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    const int64_t target = ts.tv_sec + usec / 1000000 + (ts.tv_nsec >= 500000000 ? 1 : 0);
    if (target < 0) return Finish(Refused("The clock was not set", detail + ", and before 1970"));
    std::vector<std::string> command = options.helperCommand;
    if (command.empty()) {
      const std::string program = HelperProgramPath();
      if (program.empty())
        return Finish(Refused(kClockNeedsRights, detail + ", and quorvin-helper is not installed"));
      command = HelperCommand(program, "set-clock", {});
    }
    command.push_back(std::to_string(target));
    const UniqueFd null(open("/dev/null", O_RDWR | O_CLOEXEC));
    ChildOptions o;
    o.descriptors = {{0, null.get()}, {1, null.get()}};
    o.defaultSignals = {SIGPIPE, SIGINT, SIGTERM};
    o.newSession = true;  // pkexec asks through the desktop, not on the program's terminal
    // No pkexec is no way to the rights.
    if (Status s = null ? helper.Start(command, o) : Status::Error("/dev/null"); !s)
      Finish(Refused(kClockNeedsRights, detail + ", and " + command[0] + ": " + s.message()));
  }
  void PollHelper() {
    ChildExit e;
    if (!helper.TryWait(&e)) return;
    if (!e.signaled && e.code == 0) return Finish(ClockChange{true, "", "", false});
    const std::string how =
        std::string(e.signaled ? "signal " : "status ") + std::to_string(e.code);
    if (!e.signaled && (e.code == kHelperDismissed || e.code == kHelperNotAuthorised))
      return Finish(Refused(kClockNeedsRights, detail + ", and not authorised (" + how + ")"));
    Finish(Refused("The clock was not set", detail + ", and the helper ended with " + how));
  }

  PosixClockOptions options;
  int64_t usec;
  ChildProcess helper;
  std::string detail;
  GCancellable* cancel = g_cancellable_new();
  GDBusConnection* bus = nullptr;
  bool sent = false;
  bool done = false;
  ClockChange answer;
};

using CallRef = std::shared_ptr<ServiceCall>;

void OnReply(GObject* source, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<CallRef> ref(static_cast<CallRef*>(data));
  ServiceCall& call = **ref;
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
  if (reply) {
    g_variant_unref(reply);
    if (!call.done) call.Finish(ClockChange{true, "", "", false});
    return;
  }
  if (!call.done && !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
    gchar* remote = g_dbus_error_get_remote_error(error);
    const std::string name = remote ? remote : "";
    g_free(remote);
    g_dbus_error_strip_remote_error(error);
    if (LeftWithoutAnswer(error, name))
      call.Finish(ClockChange{
          false, kNoAnswer,
          std::string("the time service went away without an answer: ") + error->message, true});
    else if (MeansNoService(name))
      call.StepDirectly(error->message);
    else
      call.Finish(
          Refused(ReasonOf(name), std::string("the time service refused: ") + error->message));
  }
  g_error_free(error);
}

void OnBus(GObject*, GAsyncResult* result, gpointer data) {
  const std::unique_ptr<CallRef> ref(static_cast<CallRef*>(data));
  ServiceCall& call = **ref;
  GError* error = nullptr;
  call.bus = call.options.busAddress.empty()
                 ? g_bus_get_finish(result, &error)
                 : g_dbus_connection_new_for_address_finish(result, &error);
  if (!call.bus) {
    if (!call.done && !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
      call.StepDirectly(error->message);
    g_error_free(error);
    return;
  }
  if (call.done) return;
  call.sent = true;
  // Relative: the service adds the step to the time it has when it acts, however long the
  // user took to authorise it. The wait is bounded by the request, not by the bus.
  g_dbus_connection_call(call.bus, "org.freedesktop.timedate1", "/org/freedesktop/timedate1",
                         "org.freedesktop.timedate1", "SetTime",
                         g_variant_new("(xbb)", static_cast<gint64>(call.usec), TRUE, TRUE),
                         nullptr, G_DBUS_CALL_FLAGS_ALLOW_INTERACTIVE_AUTHORIZATION, G_MAXINT,
                         call.cancel, OnReply, new CallRef(*ref));
}

class ServiceRequest : public ClockRequest {
 public:
  explicit ServiceRequest(CallRef call)
      : call_(std::move(call)), deadline_(MonotonicMs() + call_->options.timeoutMs) {}
  ~ServiceRequest() override {
    g_cancellable_cancel(call_->cancel);
    // GIO hands back a cancelled call on the next turns of the context: let it, so that the
    // call and its connection go now rather than at some later poll.
    for (int i = 0; i < 64 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
  }
  ServiceRequest(const ServiceRequest&) = delete;
  ServiceRequest& operator=(const ServiceRequest&) = delete;

  bool Poll() override {
    // Only what is ready: the window's loop calls again after its own events.
    for (int i = 0; i < 64 && !call_->done && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
    if (!call_->done && call_->helper.running()) call_->PollHelper();
    if (!call_->done && MonotonicMs() >= deadline_) {
      g_cancellable_cancel(call_->cancel);
      if (call_->helper.running()) {
        call_->helper.Signal(SIGTERM);
        call_->Finish(ClockChange{false, "No answer in time: the clock may have changed",
                                  call_->detail + ", and the helper did not end in time", true});
      } else if (call_->sent) {
        call_->Finish(
            ClockChange{false, kNoAnswer, "the time service did not answer in time", true});
      } else {
        call_->Finish(Refused("The clock was not set", "the system bus did not answer in time"));
      }
    }
    return call_->done;
  }
  ClockChange Answer() const override { return call_->answer; }

 private:
  CallRef call_;
  int64_t deadline_;
};

}  // namespace

PosixClock::PosixClock(PosixClockOptions options, locale_t locale)
    : LocaleClock(locale), options_(std::move(options)) {}

int64_t PosixClock::Instant() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec);
}

LocalTime PosixClock::ToLocal(int64_t instant) const {
  const time_t t = static_cast<time_t>(instant);
  struct tm tm {};
  if (!localtime_r(&t, &tm)) return LocalTime{};
  return FromTm(tm);
}

std::unique_ptr<ClockRequest> PosixClock::StepBy(int64_t seconds) {
  if (!options_.maySet)
    return std::make_unique<AnsweredClockRequest>(
        Refused("The clock cannot be set here", "this run only reads the machine's clock"));
  // A step of more than a few thousand years is no step of this program's.
  if (seconds > INT64_MAX / 1000000 || seconds < INT64_MIN / 1000000)
    return std::make_unique<AnsweredClockRequest>(
        Refused("The clock was not set", "the step cannot be expressed on this system"));
  auto call = std::make_shared<ServiceCall>(options_, seconds * 1000000);
  if (options_.busAddress.empty())
    g_bus_get(G_BUS_TYPE_SYSTEM, call->cancel, OnBus, new CallRef(call));
  else
    g_dbus_connection_new_for_address(
        options_.busAddress.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, call->cancel, OnBus, new CallRef(call));
  return std::make_unique<ServiceRequest>(std::move(call));
}

FixedClock::FixedClock(const LocalTime& start, locale_t locale) : LocaleClock(locale) {
  struct tm tm = TmOf(start);
  tm.tm_isdst = 0;
  seconds_ = static_cast<int64_t>(timegm(&tm));
}

LocalTime FixedClock::ToLocal(int64_t instant) const {
  const time_t t = static_cast<time_t>(instant);
  struct tm tm {};
  if (!gmtime_r(&t, &tm)) return LocalTime{};
  return FromTm(tm);
}

std::unique_ptr<ClockRequest> FixedClock::StepBy(int64_t seconds) {
  ++setCalls_;
  if (!answer_.ok) return std::make_unique<AnsweredClockRequest>(answer_);
  seconds_ += seconds;
  return std::make_unique<AnsweredClockRequest>(ClockChange{true, "", "", false});
}

}  // namespace qv
