// A whole program on the in-memory platform: display, events, drives and clock of the test's
// own, and a small skin written by the test. Standard library only, so that the same tests run
// wherever the program does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Program.h"
#include "platform/memory/MemoryClock.h"
#include "platform/memory/MemoryDisplay.h"
#include "platform/memory/MemoryEvents.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryProcesses.h"
#include "shell/modSettings.h"
#include "skin/modForm.h"

namespace qv::test {

// A folder of the machine's temporary folder, removed with all it holds.
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

// Colours after a lossy round trip are close, not equal.
bool Near(uint32_t a, uint32_t b, int tolerance = 24);

// The text of the text box with this key ("<none>" without such a box).
std::string BoxText(Program& p, const std::string& group, const std::string& name);

// Settings and skin files below an application folder, in whatever picture format the
// platform under test decodes.
class SkinWriter {
 public:
  virtual ~SkinWriter() = default;
  // `relative` below the application folder, with "/" ("Skin/x.ini").
  virtual void WriteFile(const std::string& relative, const std::string& content) const = 0;
  // A picture of one colour.
  virtual void WritePicture(const std::string& relative, int width, int height,
                            uint32_t rgb) const = 0;

  void WriteSettings(int resX, int resY, int top = 0, int left = 0) const;
  // Loading pictures and the three pictures of each named screen, 1024 x 768.
  void WriteSkin(const std::vector<std::string>& screens) const;
  void WriteLayout(const std::string& screen, const std::string& sections) const;
};

// The explorer's screens: both file lists with their path boxes, the information and copy
// boxes, and the drive choice.
void WriteExplorerSkin(const SkinWriter& app);
// Shows the explorer screen on these two folders.
void ShowExplorer(Program& p, const std::string& sourcePath, const std::string& destinationPath);
// Taps item `item` of a list.
void TapListItem(Program& p, const ListElement& l, int item);

// The main screen with one text box, the copy report's total.
void WriteCopyTotalSkin(const SkinWriter& app);

class TestApp : public SkinWriter {
 public:
  // Drive C: holds the application folder "C:\app"; `extraDrives` more drives become D:, E:,
  // ... `clock`: the program's clock instead of clock().
  explicit TestApp(int extraDrives = 0, Clock* clock = nullptr);

  // "C:\" for 'C'.
  std::string DrivePath(char letter) const;
  // DOS path of a file below the application folder ("Skin/x.ini" gives "C:\app\Skin\x.ini").
  std::string AppPath(const std::string& relative) const;
  void WriteFile(const std::string& relative, const std::string& content) const override;
  // A binary PPM: the memory display decodes it without a codec.
  void WritePicture(const std::string& relative, int width, int height,
                    uint32_t rgb) const override;

  // Runs start-up; the program is then on its main screen.
  bool Start();
  Program& program() { return *program_; }
  MemoryDisplay& display() { return display_; }
  MemoryEvents& events() { return events_; }
  MemoryFileSystem& files() { return *files_; }
  MemoryProcesses& processes() { return processes_; }
  RecordingDiagnostics& diag() { return diag_; }
  FakeSystem& system() { return system_; }
  MemoryClock& clock() { return clock_; }

  // Window pixel of the back buffer.
  uint32_t Pixel(int x, int y) const;
  void Click(double x, double y);

 private:
  MemoryDisplay display_;
  MemoryEvents events_;
  std::unique_ptr<MemoryFileSystem> files_;
  MemoryProcesses processes_;
  RecordingDiagnostics diag_;
  FakeSystem system_;
  MemoryClock clock_{kTestClockStart};
  std::unique_ptr<Program> program_;
};

}  // namespace qv::test
