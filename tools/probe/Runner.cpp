#include "probe/Runner.h"

#include <cmath>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <system_error>

#include "core/Program.h"
#include "platform/Platform.h"
#include "probe/Delivery.h"
#include "probe/ProbeHost.h"
#include "probe/SkinFiles.h"
#include "probe/StateDump.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"
#include "shell/modDeclares.h"

namespace probe {

namespace fs = std::filesystem;

bool ProbeEvents::PollEvent(qv::Event* e) {
  while (!queue_.empty()) {
    *e = queue_.front();
    queue_.pop_front();
    // A timer switched off before its tick was taken does not tick any more.
    if (e->type == qv::EventType::TimerTick && !TimerEnabled(e->timer)) continue;
    if (e->type == qv::EventType::PointerDown || e->type == qv::EventType::PointerUp ||
        e->type == qv::EventType::DoubleClick) {
      // The double-click handler reads the pointer from the display, as on a real screen.
      int left = 0, top = 0;
      host_.display().WindowPosition(&left, &top);
      host_.MoveCursor(left + static_cast<int>(std::lround(e->x)),
                       top + static_cast<int>(std::lround(e->y)));
    }
    return true;
  }
  // The window system's own events (the inner source runs no timers).
  return host_.WindowEvents().PollEvent(e);
}

void ProbeEvents::WaitEvent(qv::Event* e) {
  if (PollEvent(e)) return;
  // Nothing can arrive by itself in the probe.
  *e = qv::Event{};
  e->type = qv::EventType::Quit;
}

void ProbeEvents::SetTimer(int timer, int /*intervalMs*/, bool enabled) {
  if (timer >= 0 && timer < qv::kTimerCount) enabled_[timer] = enabled;
}

bool ProbeEvents::TimerEnabled(int timer) const {
  return timer >= 0 && timer < qv::kTimerCount && enabled_[timer];
}

void ProbeEvents::Sleep(int ms) {
  host_.WindowEvents().Sleep(ms);
}

namespace {

// A script line that cannot be carried out. Not a std::exception, so that the program's
// handlers, which ignore the errors of commands, let it pass.
struct LineError {
  std::string message;
};

bool ParseDrive(const std::string& arg, qv::DriveMapping* drive, std::string* error) {
  if (arg.size() < 3 || arg[1] != '=' || !std::isalpha(static_cast<unsigned char>(arg[0]))) {
    *error = "bad --drive \"" + arg + "\": expected L=HOSTDIR[,device=PATH]";
    return false;
  }
  drive->letter = static_cast<char>(std::toupper(static_cast<unsigned char>(arg[0])));
  std::string folder = arg.substr(2);
  // A folder name may hold commas; only the last ",device=" introduces the device.
  const size_t device = folder.rfind(",device=");
  if (device != std::string::npos) {
    drive->device = folder.substr(device + 8);
    folder.erase(device);
    if (drive->device.empty()) {
      *error = "bad --drive \"" + arg + "\": empty device";
      return false;
    }
  }
  drive->hostFolder = folder;
  std::string why;
  if (!CheckDrive(drive, &why)) {
    *error = "bad --drive \"" + arg + "\": " + why;
    return false;
  }
  return true;
}

bool ReadScript(const std::string& script, std::string* text, std::string* error) {
  if (script == "-") {
    text->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    *error = "cannot read the script " + script;
    return false;
  }
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::string LineText(const ScriptLine& line) {
  return "line " + std::to_string(line.number) + ": " + EscapeControls(line.text);
}

std::string KeyText(const std::string& group, const std::string& name) {
  return "(\"" + group + "\", \"" + name + "\")";
}

std::optional<qv::LocalTime> FakeClockStart(const std::optional<ClockTime>& start) {
  if (!start) return std::nullopt;
  qv::LocalTime t;
  t.year = start->year;
  t.month = start->month;
  t.day = start->day;
  t.hour = start->hour;
  t.minute = start->minute;
  t.second = start->second;
  return t;
}

// The headless program with its platform; everything lives as long as this object.
class Headless {
 public:
  Headless(std::vector<qv::DriveMapping> drives, const std::string& appHost,
           const std::optional<ClockTime>& start = std::nullopt)
      : host_(MakeProbeHost(std::move(drives), appHost, FakeClockStart(start))),
        events_(*host_),
        program_(host_->Services(events_)) {}

  qv::Program& program() { return program_; }
  ProbeEvents& events() { return events_; }
  ProbeHost& host() { return *host_; }

  // What the top-level message loop does with the pending events.
  void Settle() {
    qv::Event e;
    while (events_.PollEvent(&e)) qv::HandleEventSafely(program_, e);
  }

 private:
  std::unique_ptr<ProbeHost> host_;
  ProbeEvents events_;
  qv::Program program_;
};

// Carries out script lines on a headless program.
class Carrier {
 public:
  Carrier(Headless& h, const fs::path& outDir, std::ostream& out)
      : h_(h), p_(h.program()), outDir_(outDir), out_(out) {}

  void operator()(const ScriptLine& line) {
    switch (line.op) {
      case Op::Down:
        Pointer(qv::EventType::PointerDown, line.x, line.y);
        break;
      case Op::Up:
        Pointer(qv::EventType::PointerUp, line.x, line.y);
        break;
      case Op::Click:
        Click(line.x, line.y);
        break;
      case Op::DblClick:
        DoubleClick(line.x, line.y);
        break;
      case Op::Press: {
        const qv::ButtonElement* button = nullptr;
        for (const qv::ButtonElement& b : p_.tables.Buttons)
          if (b.HasKey(line.group, line.name)) {
            button = &b;
            break;
          }
        if (!button) throw LineError{"no button " + KeyText(line.group, line.name) + OnScreen()};
        Click(button->Left + button->Width / 2.0, button->Top + button->Height / 2.0);
        break;
      }
      case Op::Tap:
      case Op::DoubleTap: {
        double x = 0, y = 0;
        RowPoint(line, &x, &y);
        if (line.op == Op::Tap)
          Click(x, y);
        else
          DoubleClick(x, y);
        break;
      }
      case Op::Tick:
        for (int i = 0; i < line.count; ++i) {
          qv::Event e;
          e.type = qv::EventType::TimerTick;
          e.timer = line.timer == TimerKind::Cpu ? qv::kCpuTimer : qv::kClockTimer;
          h_.events().Push(e);
        }
        break;
      case Op::Advance:
        if (!h_.host().AdvanceFakeClock(line.seconds))
          throw LineError{"advance needs the fake clock of --clock"};
        break;
      case Op::Dump: {
        const fs::path path = Output(line.argument);
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f << StateJson(p_).Dump();
        f.close();
        if (!f) throw LineError{"cannot write " + path.string()};
        break;
      }
      case Op::Shot: {
        const fs::path path = Output(line.argument);
        std::string error;
        if (!p_.skin.BackBuffer) throw LineError{"there is no window picture to write"};
        if (!WriteSurfacePng(path.string(), *p_.skin.BackBuffer, &error))
          throw LineError{"cannot write " + path.string() + ": " + error};
        break;
      }
      case Op::Echo:
        out_ << line.argument << "\n" << std::flush;
        break;
    }
  }

 private:
  std::string OnScreen() const { return " on the screen \"" + p_.skin.CurrentScreen + "\""; }

  fs::path Output(const std::string& file) const {
    const fs::path path(file);
    return path.is_absolute() ? path : outDir_ / path;
  }

  void Pointer(qv::EventType type, double x, double y) {
    qv::Event e;
    e.type = type;
    e.button = 1;
    e.x = static_cast<float>(x);
    e.y = static_cast<float>(y);
    h_.events().Push(e);
  }

  void Click(double x, double y) {
    Pointer(qv::EventType::PointerDown, x, y);
    Pointer(qv::EventType::PointerUp, x, y);
  }

  // The window system's order: the second press comes as the double click.
  void DoubleClick(double x, double y) {
    Click(x, y);
    Pointer(qv::EventType::DoubleClick, x, y);
    Pointer(qv::EventType::PointerUp, x, y);
  }

  void RowPoint(const ScriptLine& line, double* x, double* y) const {
    const qv::ListElement* list = nullptr;
    for (const auto* table :
         {&p_.tables.ListBoxes, &p_.tables.DriveLists, &p_.tables.MultiLineTextBoxes}) {
      for (const qv::ListElement& l : *table)
        if (l.HasKey(line.group, line.name)) {
          list = &l;
          break;
        }
      if (list) break;
    }
    if (!list) throw LineError{"no list " + KeyText(line.group, line.name) + OnScreen()};
    if (line.row >= list->PageSize)
      throw LineError{"the list " + KeyText(line.group, line.name) + " shows " +
                      std::to_string(list->PageSize) + " row(s); there is no row " +
                      std::to_string(line.row)};
    const size_t row = static_cast<size_t>(line.row);
    const double offset = row < list->RowOffsets.size()
                              ? list->RowOffsets[row]
                              : static_cast<double>(row) * list->RowHeight;
    *x = list->Left + list->Width / 2.0;
    *y = list->Top + offset + list->RowHeight / 2.0;
  }

  Headless& h_;
  qv::Program& p_;
  fs::path outDir_;
  std::ostream& out_;
};

bool PrepareOutDir(const std::string& dir, std::ostream& err) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) {
    err << "quorvin-probe: cannot use " << dir << " as the output folder\n";
    return false;
  }
  return true;
}

}  // namespace

bool ParseRunArguments(const std::vector<std::string>& args, RunOptions* o, std::string* error) {
  *o = RunOptions{};
  bool haveScript = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string a = args[i];
    std::string value;
    bool inlineValue = false;
    if (a.rfind("--", 0) == 0 && a.find('=') != std::string::npos) {
      value = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      inlineValue = true;
    }
    auto next = [&](std::string* out) {
      if (inlineValue) {
        *out = value;
        return true;
      }
      if (i + 1 >= args.size()) {
        *error = a + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    if (a == "--app-dir") {
      if (!next(&o->appDir)) return false;
    } else if (a == "--drive") {
      std::string arg;
      qv::DriveMapping drive;
      if (!next(&arg) || !ParseDrive(arg, &drive, error)) return false;
      for (const qv::DriveMapping& d : o->drives)
        if (d.letter == drive.letter) {
          *error = std::string("the drive ") + drive.letter + ": is given twice";
          return false;
        }
      o->drives.push_back(drive);
    } else if (a == "--clock") {
      std::string text;
      ClockTime t;
      if (!next(&text)) return false;
      if (!ParseClockTime(text, &t)) {
        *error = "bad --clock \"" + text + "\": expected \"YYYY-MM-DD HH:MM:SS\"";
        return false;
      }
      o->clock = t;
    } else if (a == "--out") {
      if (!next(&o->outDir)) return false;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      *error = "unknown option " + a;
      return false;
    } else if (haveScript) {
      *error = "more than one script: " + o->script + ", " + a;
      return false;
    } else {
      o->script = a;
      haveScript = true;
    }
  }
  if (o->appDir.empty())
    *error = "--app-dir is missing";
  else if (o->drives.empty())
    *error = "no --drive is given";
  else if (!haveScript)
    *error = "the script is missing";
  else
    return true;
  return false;
}

int RunScript(const RunOptions& options, std::ostream& out, std::ostream& err) {
  std::error_code ec;
  if (!fs::is_directory(options.appDir, ec)) {
    err << "quorvin-probe: --app-dir " << options.appDir << " is not a folder\n";
    return 2;
  }
  const std::string appHost = fs::absolute(options.appDir).lexically_normal().string();
  Headless h(options.drives, appHost, options.clock);
  if (h.host().DosPathForHost(appHost).empty()) {
    err << "quorvin-probe: --app-dir " << options.appDir << " lies on none of the drives\n";
    return 2;
  }
  if (!PrepareOutDir(options.outDir, err)) return 2;
  std::string text, error;
  if (!ReadScript(options.script, &text, &error)) {
    err << "quorvin-probe: " << error << "\n";
    return 2;
  }
  std::vector<ScriptLine> lines;
  ScriptError parseError;
  if (!ParseScript(text, &lines, &parseError)) {
    err << "quorvin-probe: line " << parseError.line << ": " << EscapeControls(parseError.text)
        << ": " << EscapeControls(parseError.message) << "\n";
    return 1;
  }
  Carrier carrier(h, options.outDir, out);
  Delivery delivery(std::move(lines), std::ref(carrier), [&] { h.Settle(); });
  // Installed before start-up: a "~" first line reaches the loading screen while it loads.
  h.program().onYield = [&](qv::Program& p) { delivery.OnYield(p.keyboard.waitingForText); };
  try {
    if (!qv::StartUp(h.program())) {
      err << "quorvin-probe: the program could not start (see above)\n";
      return 1;
    }
    delivery.RunTopLevel();
  } catch (const LineError& e) {
    err << "quorvin-probe: " << LineText(*delivery.last()) << ": " << e.message << "\n";
    return 1;
  } catch (const StalledScript&) {
    err << "quorvin-probe: "
        << (delivery.last() ? LineText(*delivery.last()) : std::string("start-up"))
        << ": a function waits for the keyboard's \"ok\", but no \"~\" line is left to give it\n";
    return 1;
  } catch (const qv::ProgramExit&) {
    if (delivery.finished() && delivery.last()) return 0;
    if (!delivery.last()) {
      err << "quorvin-probe: the program ended during start-up\n";
    } else {
      err << "quorvin-probe: " << LineText(*delivery.last())
          << ": the program ended before the end of the script\n";
    }
    return 1;
  }
  return 0;
}

int WriteShots(const std::string& appDir, const std::string& outDir, std::ostream& out,
               std::ostream& err) {
  SkinFiles skin;
  std::string error;
  if (!skin.Read(appDir, &error)) {
    err << "quorvin-probe shots: " << error << "\n";
    return 2;
  }
  if (!PrepareOutDir(outDir, err)) return 2;
  const fs::path app = fs::absolute(appDir).lexically_normal();
  const fs::path clean = app.has_filename() ? app : app.parent_path();
  const std::vector<qv::DriveMapping> drives = ShotsDrives(clean);
  if (drives.empty()) {
    err << "quorvin-probe shots: " << appDir << " lies on no drive\n";
    return 2;
  }
  Headless h(drives, clean.string());
  int status = 0;
  try {
    if (!qv::StartUp(h.program())) {
      err << "quorvin-probe shots: the program could not start (see above)\n";
      return 1;
    }
    h.Settle();
    for (const std::string& file : skin.layouts) {
      const std::string screen = SkinFiles::ScreenOf(file);
      qv::ShowScreen(h.program(), screen);
      h.Settle();
      const fs::path png = fs::path(outDir) / (screen + ".png");
      if (!h.program().skin.BackBuffer ||
          !WriteSurfacePng(png.string(), *h.program().skin.BackBuffer, &error)) {
        err << "quorvin-probe shots: cannot write " << png.string() << ": " << error << "\n";
        status = 1;
        continue;
      }
      out << png.string() << "\n";
    }
  } catch (const qv::ProgramExit&) {
    err << "quorvin-probe shots: the program ended while showing the screens\n";
    return 1;
  }
  return status;
}

}  // namespace probe
