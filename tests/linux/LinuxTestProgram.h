// A whole program on the Linux services with temporary folders as drives, the in-memory
// display, and the tools the Linux tests share: the built probe, compiled locales.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../TestProgram.h"
#include "app/linux/LinuxPlatform.h"
#include "platform/linux/PosixClock.h"

namespace qv::test {

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

class LinuxTestApp : public SkinWriter {
 public:
  // Drive C: is a temporary folder that holds the application folder "app"; `extraDrives`
  // more temporary folders become D:, E:, ... `clock`: the program's clock instead of clock().
  explicit LinuxTestApp(int extraDrives = 0, const SpecialFoldersBelowC& special = {},
                        PosixFileSystem::Options files = {}, Clock* clock = nullptr);
  // Host folder of a drive letter.
  std::string DrivePath(char letter) const;

  // Host path of a file below the application folder ("Skin/x.ini").
  std::string AppPath(const std::string& relative) const;
  void WriteFile(const std::string& relative, const std::string& content) const override;
  // A JPEG of one colour.
  void WritePicture(const std::string& relative, int width, int height,
                    uint32_t rgb) const override;

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
