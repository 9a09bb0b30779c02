// A whole program on the in-memory display, with a temporary folder as drive C: and a small
// skin written by the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/linux/LinuxPlatform.h"
#include "core/Program.h"
#include "platform/memory/MemoryDisplay.h"
#include "platform/memory/MemoryEvents.h"
#include "shell/modSettings.h"
#include "skin/modForm.h"

namespace qv::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Machine figures set by the test; a query whose `fails` is set answers false.
class FakeSystem : public SystemQueries {
 public:
  MemoryStatus memory;
  ProcessorInfo cpu{2, 8664};
  VersionInfo version{6, 1, 0, kPlatformNamed, "Linux", "#1 SMP"};
  std::string computer = "testhost";
  std::string user = "tester";
  int64_t idle = 0;  // 100 ns units
  int64_t now = 0;
  int processors = 2;
  bool idleFails = false, timeFails = false, countFails = false;

  MemoryStatus GetMemoryStatus() override { return memory; }
  std::optional<ProcessorInfo> GetProcessorInfo() override { return cpu; }
  std::optional<VersionInfo> GetVersion() override { return version; }
  std::optional<std::string> GetComputerName() override { return computer; }
  std::optional<std::string> GetUserName() override { return user; }
  std::optional<int64_t> IdleTime() override {
    return idleFails ? std::nullopt : std::optional<int64_t>(idle);
  }
  std::optional<int64_t> MonotonicTime() override {
    return timeFails ? std::nullopt : std::optional<int64_t>(now);
  }
  std::optional<int> ProcessorCount() override {
    return countFails ? std::nullopt : std::optional<int>(processors);
  }
};

// Where the tests' clock starts: Tuesday 3 March 2026, 09:05:07.
constexpr LocalTime kTestClockStart{2026, 3, 3, 9, 5, 7, 2};

class RecordingDiagnostics : public Diagnostics {
 public:
  void Warn(const std::string& line) override { lines.push_back(line); }
  bool Mentions(const std::string& text) const;
  std::vector<std::string> lines;
};

// Colours of the test skin's pictures (0x00RRGGBB).
constexpr uint32_t kEnabledRgb = 0x2040A0;
constexpr uint32_t kDisabledRgb = 0x808080;
constexpr uint32_t kActiveRgb = 0xC03020;

struct ProbeResult {
  int status = -1;
  std::string out;
  std::string err;
};

// The junk cleaner's special folders, as folders below drive C: ("" for none). The tests never
// let the cleaner near the machine's own temporary folders.
struct SpecialFoldersBelowC {
  std::string systemTemp;
  std::string userCache;
};

class TestApp {
 public:
  // Drive C: is a temporary folder that holds the application folder "app"; `extraDrives`
  // more temporary folders become D:, E:, ... `clock`: the program's clock instead of clock().
  explicit TestApp(int extraDrives = 0, const SpecialFoldersBelowC& special = {},
                   PosixFileSystem::Options files = {}, Clock* clock = nullptr);
  // Host folder of a drive letter.
  std::string DrivePath(char letter) const;

  // Host path of a file below the application folder ("Skin/x.ini").
  std::string AppPath(const std::string& relative) const;
  void WriteFile(const std::string& relative, const std::string& content) const;
  // A JPEG of one colour; `marker` paints the top-left 8 x 8 pixels in another colour.
  void WriteJpeg(const std::string& relative, int width, int height, uint32_t rgb) const;
  void WriteSettings(int resX, int resY, int top = 0, int left = 0) const;
  // Loading pictures and the three pictures of each named screen, 1024 x 768.
  void WriteSkin(const std::vector<std::string>& screens) const;
  void WriteLayout(const std::string& screen, const std::string& sections) const;

  // Runs the built quorvin-probe on this application folder and these drives; dumps and shots
  // go to `outDir`.
  // `options` go after "run" (for example --clock), `environment` before the command.
  ProbeResult RunProbe(const std::string& script, const std::string& outDir,
                       const std::string& options = "", const std::string& environment = "") const;

  // Runs start-up; the program is then on its main screen.
  bool Start();
  Program& program() { return *program_; }
  MemoryDisplay& display() { return display_; }
  MemoryEvents& events() { return events_; }
  PosixFileSystem& files() { return posix_->files(); }
  PosixJunkScan& junk() { return posix_->junk(); }
  RecordingDiagnostics& diag() { return diag_; }
  FakeSystem& system() { return system_; }
  FixedClock& clock() { return clock_; }

  // Window pixel of the back buffer.
  uint32_t Pixel(int x, int y) const;
  void Click(double x, double y);

 private:
  TempDir root_;
  std::vector<std::unique_ptr<TempDir>> extra_;
  std::string app_;
  MemoryDisplay display_;
  MemoryEvents events_;
  std::unique_ptr<LinuxPlatform> posix_;
  RecordingDiagnostics diag_;
  FakeSystem system_;
  FixedClock clock_{kTestClockStart};
  std::unique_ptr<Program> program_;
};

std::string ReadWholeFile(const std::string& path);

// The "items" texts of the list with this key in a probe dump.
std::vector<std::string> DumpItems(const std::string& dump, const std::string& group,
                                   const std::string& name);

// The "text" of the text box with this key in a probe dump ("<none>" without such a box).
std::string DumpText(const std::string& dump, const std::string& group, const std::string& name);

// Colours after a JPEG round trip are close, not equal.
bool Near(uint32_t a, uint32_t b, int tolerance = 24);

// A locale of the machine's locale sources ("de_DE") compiled into `dir` under `name`, for
// LOCPATH; false where that cannot be done (no localedef: package locales).
bool CompileLocale(const std::string& dir, const std::string& name, const std::string& source);

// Makes a locale compiled from `source` ("de_DE") the whole process's until destroyed, then "C"
// again; ok() is false where it could not be compiled or taken.
class ProcessLocale {
 public:
  explicit ProcessLocale(const std::string& source);
  ~ProcessLocale();
  ProcessLocale(const ProcessLocale&) = delete;
  ProcessLocale& operator=(const ProcessLocale&) = delete;
  bool ok() const { return ok_; }

 private:
  TempDir dir_;
  bool ok_ = false;
};

}  // namespace qv::test
