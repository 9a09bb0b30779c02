// All mutable state of one running program, grouped by subsystem.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Elements.h"
#include "core/Reactions.h"
#include "core/Settings.h"
#include "core/SkinState.h"
#include "platform/Platform.h"

namespace qv {

class clsCPU;

// Milliseconds between ticks of the processor-load and the clock timers.
constexpr int kCpuTimerInterval = 250;
constexpr int kClockTimerInterval = 500;

struct ShellState {
  int16_t PressedButton = -1;
  int yieldDepth = 0;  // how many Yield calls are running further down the stack
  // The screen of the last press: a release on another screen is no tap there.
  int64_t pressScreen = -1;
};

struct CommandFlags {
  bool CancelRequested = false;
  bool CheckDiskCancel = false;
};

struct ExplorerState {
  std::string SourcePath;
  std::string DestinationPath;
  std::vector<std::string> CopyList;
  std::vector<int32_t> CopyListIndices;
  std::string ReportGroup;
  std::string DriveRequester;
};

struct KeyboardState {
  std::string KeyboardText;
  bool KeyboardConfirmed = false;
  bool ShiftOn = false;
  bool CapsLockOn = false;
  bool waitingForText = false;  // a function waits for "ok" (drivers of the program ask)
};

struct DriveMenuState {
  int16_t ClosedHeight = 0;  // height of the drive list whose menu is open, while closed
};

struct DiskState {
  int64_t TotalClusters = 0;
  bool checkRunning = false;   // a disk check is under way further down the stack
  bool defragRunning = false;  // likewise a defragmentation run
};

// The junk cleaner's figures of the last run (counters 0 to 14 per rule, 15 every entry seen).
struct JunkFacts {
  int rule = -1;
  uint64_t bytes = 0;
};

struct CleanerState {
  int64_t JunkCounters[16] = {};
  // Slot 0 stays empty: the last slot's number is the number of entries.
  std::vector<std::string> JunkList{std::string()};
  std::vector<JunkIdentity> JunkIds{JunkIdentity()};  // who each entry was when it was found
  std::vector<JunkFacts> JunkFound{JunkFacts()};      // its rule and length, to take back
  double JunkSizeMB = 0;
  bool running = false;       // a run is on the stack, perhaps cancelled and still unwinding
  bool startPending = false;  // a start pressed meanwhile, run when that one has ended
};

struct SystemInfoState {
  std::shared_ptr<clsCPU> cpu;  // the processor-load meter, made at start-up
  bool clockChanging = false;   // a step of the clock waits for the system's answer
};

struct Program {
  explicit Program(const Platform& platform) : os(platform) {}
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  Platform os;
  Settings settings;
  SkinState skin;
  ElementTables tables;
  ShellState shell;
  CommandFlags flags;
  ExplorerState explorer;
  KeyboardState keyboard;
  DriveMenuState driveMenu;
  DiskState disk;
  CleanerState cleaner;
  SystemInfoState sysinfo;
  Reactions reactions;

  // Called at the start of every Yield; the probe delivers its "~" lines through it.
  std::function<void(Program&)> onYield;
};

// Thrown by ExitProgram; the message loop ends the program when it reaches it. It is not a
// std::exception, so the handlers that ignore errors of commands let it pass.
struct ProgramExit {
  int status = 0;
};

// Ends the program: stops the timers, releases surfaces and leaves through ProgramExit.
[[noreturn]] void ExitProgram(Program& p);

}  // namespace qv
