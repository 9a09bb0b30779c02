// The disk check's engine on Windows against the stand-in fmifs.dll beside the test program
// (tests/win32/dll/fmifs): the arguments it is given, the reports it makes, a stop at any of
// them, and the ways a run cannot begin.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../TestProgram.h"
#include "TestDrives.h"
#include "commands/modDispatch.h"
#include "dll/fmifs/FmifsStandIn.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32CheckEngine.h"
#include "platform/win32/Win32FileSystem.h"

namespace qv {
namespace {

using test::StandInCall;

// What the engine hands on, one word per report: "p40", "t:TEXT", "d1" (done, success), "c7".
struct Seen {
  std::vector<std::string> reports;
  size_t stopAt = SIZE_MAX;   // answers false to this report (0-based)
  size_t throwAt = SIZE_MAX;  // throws at this one
  CheckCallback Callback() {
    return [this](uint32_t command, uint32_t, const void* info) {
      if (command == kCheckProgress)
        reports.push_back("p" + std::to_string(*static_cast<const uint32_t*>(info)));
      else if (command == kCheckTextOutput)
        reports.push_back("t:" + std::string(static_cast<const CheckTextOutput*>(info)->text));
      else if (command == kCheckDone)
        reports.push_back("d" + std::to_string(*static_cast<const uint8_t*>(info)));
      else
        reports.push_back("c" + std::to_string(command));
      if (reports.size() - 1 == throwAt) throw std::runtime_error("window closed");
      return reports.size() - 1 != stopAt;
    };
  }
};

const std::vector<std::string> kCleanRun = {"p0",
                                            "t:Überprüfung der Dateien (Phase 1 von 3)",
                                            "p20",
                                            "p40",
                                            "p60",
                                            "p80",
                                            "t:Größe der Zuordnungseinheit: 4096 Bytes",
                                            "c7",
                                            "p100",
                                            "t:Es wurden keine Probleme gefunden.",
                                            "d1"};

class Win32CheckEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char a = 0, b = 0;
    ASSERT_TRUE(TakeTestDrives(&a, &b)) << "run through scripts/test-windows.sh";
    drive_ = std::string(1, a) + ":\\";
    other_ = std::string(1, b) + ":\\";
    // Q: is no drive of the test prefix: a drive that does not answer, as one without a medium.
    files_ = std::make_unique<Win32FileSystem>(std::vector<char>{a, 'Q', 'C'});
    // The test's own hold on the stand-in keeps its record across the engine's Unload.
    standIn_ = LoadLibraryW(L"fmifs.dll");
    ASSERT_NE(standIn_, nullptr);
    setup_ = reinterpret_cast<test::StandInSetupFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(standIn_, "StandInSetup")));
    lastCall_ = reinterpret_cast<test::StandInLastCallFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(standIn_, "StandInLastCall")));
    ASSERT_TRUE(setup_ && lastCall_);
    setup_(test::kStandInClean);
  }
  void TearDown() override {
    if (standIn_) FreeLibrary(standIn_);
  }
  StandInCall Last() {
    StandInCall call;
    lastCall_(&call);
    return call;
  }

  std::string drive_, other_;
  std::unique_ptr<Win32FileSystem> files_;
  HMODULE standIn_ = nullptr;
  test::StandInSetupFn setup_ = nullptr;
  test::StandInLastCallFn lastCall_ = nullptr;
};

TEST_F(Win32CheckEngineTest, ReportsArriveInOrderAsUtf8WithTheArgumentsTheEngineWants) {
  Win32CheckEngine engine(*files_);
  ASSERT_TRUE(engine.Load()) << engine.Load().message();
  Seen seen;
  engine.Chkdsk(drive_, "NTFS", true, true, false, true, seen.Callback());
  EXPECT_EQ(seen.reports, kCleanRun);
  StandInCall call = Last();
  EXPECT_EQ(call.calls, 1);
  EXPECT_EQ(ToUtf8(call.root), drive_);
  EXPECT_EQ(ToUtf8(call.fileSystem), "NTFS");
  // True is all bits set.
  EXPECT_EQ(call.fixErrors, -1);
  EXPECT_EQ(call.verbose, -1);
  EXPECT_EQ(call.checkOnlyIfDirty, 0);
  EXPECT_EQ(call.scanSurface, -1);
  EXPECT_EQ(call.reserved1, nullptr);
  EXPECT_EQ(call.reserved2, nullptr);
  EXPECT_STREQ(call.answers, "11111111111");

  // Errors found: the engine's success flag comes through as it is; the other flags too.
  setup_(test::kStandInErrors);
  seen.reports.clear();
  engine.Chkdsk(drive_, "FAT32", false, false, true, false, seen.Callback());
  ASSERT_EQ(seen.reports.size(), kCleanRun.size());
  EXPECT_EQ(seen.reports[9], "t:Fehler im Verzeichnis \"Grün\" gefunden.");
  EXPECT_EQ(seen.reports.back(), "d0");
  call = Last();
  EXPECT_EQ(ToUtf8(call.fileSystem), "FAT32");
  EXPECT_EQ(call.fixErrors, 0);
  EXPECT_EQ(call.verbose, 0);
  EXPECT_EQ(call.checkOnlyIfDirty, -1);
  EXPECT_EQ(call.scanSurface, 0);

  // Unloaded, nothing is called.
  engine.Unload();
  engine.Chkdsk(drive_, "NTFS", true, true, false, true, seen.Callback());
  EXPECT_EQ(Last().calls, 1);
}

TEST_F(Win32CheckEngineTest, AStopOrAnExceptionAtAnyReportEndsTheRunThere) {
  Win32CheckEngine engine(*files_);
  ASSERT_TRUE(engine.Load());
  // A progress report, a text report, an unknown command, the last text.
  for (size_t stopAt : {size_t{0}, size_t{1}, size_t{7}, size_t{9}}) {
    Seen seen;
    seen.stopAt = stopAt;
    engine.Chkdsk(drive_, "NTFS", true, true, false, true, seen.Callback());
    EXPECT_EQ(seen.reports.size(), stopAt + 1);
    EXPECT_EQ(std::string(Last().answers), std::string(stopAt, '1') + "0") << stopAt;
  }
  // The program ending inside a report: the engine is stopped first, then the exception goes on.
  Seen thrower;
  thrower.throwAt = 4;
  EXPECT_THROW(engine.Chkdsk(drive_, "NTFS", true, true, false, true, thrower.Callback()),
               std::runtime_error);
  EXPECT_STREQ(Last().answers, "11110");
  // The next run is the next run's alone.
  Seen next;
  engine.Chkdsk(drive_, "NTFS", true, true, false, true, next.Callback());
  EXPECT_EQ(next.reports, kCleanRun);
}

TEST_F(Win32CheckEngineTest, AMissingLibraryOrExportOrDriveEndsWithoutACall) {
  Seen seen;
  Win32CheckEngine absent(*files_, {"absent-fmifs.dll"});
  const Status noLibrary = absent.Load();
  EXPECT_FALSE(noLibrary);
  EXPECT_NE(noLibrary.message().find("absent-fmifs.dll cannot be loaded"), std::string::npos)
      << noLibrary.message();
  absent.Chkdsk(drive_, "NTFS", true, true, false, true, seen.Callback());

  Win32CheckEngine noExport(*files_, {"nochkdsk.dll"});
  const Status missing = noExport.Load();
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.message().find("nochkdsk.dll has no Chkdsk"), std::string::npos)
      << missing.message();
  noExport.Chkdsk(drive_, "NTFS", true, true, false, true, seen.Callback());

  // The stand-in planted in the current folder is not taken for the system's library.
  wchar_t self[MAX_PATH];
  const std::wstring program(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  const std::wstring folder = program.substr(0, program.rfind(L'\\'));
  std::wstring drive;
  ASSERT_TRUE(ToWide(drive_, &drive));
  ASSERT_TRUE(CopyFileW((folder + L"\\fmifs.dll").c_str(), (drive + L"planted.dll").c_str(), TRUE));
  ASSERT_TRUE(SetCurrentDirectoryW(drive.c_str()));
  Win32CheckEngine planted(*files_, {"planted.dll"});
  const Status notPlanted = planted.Load();
  ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
  EXPECT_FALSE(notPlanted);

  // A drive that does not answer (no medium), and one the program does not offer.
  Win32CheckEngine engine(*files_);
  ASSERT_TRUE(engine.Load());
  for (const std::string& root : {std::string("Q:\\"), other_}) {
    EXPECT_FALSE(engine.CanOpenExclusive(root)) << root;
    engine.Chkdsk(root, "NTFS", true, true, false, true, seen.Callback());
  }
  EXPECT_TRUE(seen.reports.empty());
  EXPECT_EQ(Last().calls, 0);
}

TEST_F(Win32CheckEngineTest, WineLetsEveryAnsweringVolumeBeOpenedExclusively) {
  // Windows refuses a volume that anything holds, and one the user has no rights to write;
  // Wine enforces no sharing on volumes at all, so that every check there fixes errors.
  if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
    GTEST_SKIP() << "Wine's answer";
  std::wstring held;
  ASSERT_TRUE(ToWide(drive_ + "held.txt", &held));
  const HANDLE file =
      CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  Win32CheckEngine engine(*files_);
  EXPECT_TRUE(engine.CanOpenExclusive(drive_));
  EXPECT_TRUE(engine.CanOpenExclusive("C:\\"));
  CloseHandle(file);
}

TEST_F(Win32CheckEngineTest, AUserWithoutRightsIsToldBeforeTheCheckWithoutFixing) {
  unsigned long refusal = ERROR_ACCESS_DENIED;
  std::wstring opened;
  Win32CheckOptions options;
  options.openExclusive = [&](const std::wstring& device) {
    opened = device;
    return refusal;
  };
  Win32CheckEngine engine(*files_, options);
  ASSERT_TRUE(engine.Load());
  ASSERT_FALSE(engine.CanOpenExclusive(drive_));
  EXPECT_EQ(ToUtf8(opened), "\\\\.\\" + drive_.substr(0, 2));
  Seen seen;
  engine.Chkdsk(drive_, "NTFS", false, true, false, true, seen.Callback());
  ASSERT_EQ(seen.reports.size(), kCleanRun.size() + 1);
  EXPECT_EQ(seen.reports[0].rfind("t:Fixing needs administrator rights: ", 0), 0u)
      << seen.reports[0];
  EXPECT_EQ(Last().fixErrors, 0);

  // Stopped at that line, the engine is never called.
  setup_(test::kStandInClean);
  seen.reports.clear();
  seen.stopAt = 0;
  ASSERT_FALSE(engine.CanOpenExclusive(drive_));
  engine.Chkdsk(drive_, "NTFS", false, true, false, true, seen.Callback());
  EXPECT_EQ(seen.reports.size(), 2u);
  EXPECT_EQ(seen.reports.back(), "d0");
  EXPECT_EQ(Last().calls, 0);

  // A volume in use, or another drive than the refused one: no word about rights.
  refusal = ERROR_SHARING_VIOLATION;
  seen = Seen{};
  ASSERT_FALSE(engine.CanOpenExclusive(drive_));
  engine.Chkdsk(drive_, "NTFS", false, true, false, true, seen.Callback());
  EXPECT_EQ(seen.reports, kCleanRun);
  refusal = ERROR_ACCESS_DENIED;
  ASSERT_FALSE(engine.CanOpenExclusive("C:\\"));
  seen.reports.clear();
  engine.Chkdsk(drive_, "NTFS", false, true, false, true, seen.Callback());
  EXPECT_EQ(seen.reports, kCleanRun);
}

TEST_F(Win32CheckEngineTest, TheCheckScreenShowsTheReportInTheProgramsOwnText) {
  test::TestApp app;
  app.WriteSettings(1024, 768);
  app.WriteSkin({"Mainscreen"});
  const std::string font = "Font=arial;10;0;0;255|255|255;1\n";
  app.WriteLayout("Mainscreen",
                  "[0]\nType=drivelist\nCommand0=checkhdd;maindrive\nPosition=10;10;300;20\n" +
                      font + "MenuColor=0|0|0\nMenuFontColor=0|255|0\n" +
                      "[1]\nType=textboxmultiline\nCommand0=checkhdd;maintextbox\n" +
                      "Position=50;10;600;100\n" + font +
                      "[2]\nType=statusbar\nCommand0=checkhdd;status\nPosition=200;10;300;20\n" +
                      font + "[3]\nType=button\nCommand0=checkhdd;start\nPosition=300;10;64;64\n");
  ASSERT_TRUE(app.Start());
  // The program's drive C: is the memory platform's; the engine checks Wine's C:.
  Win32CheckEngine engine(*files_);
  app.program().os.checker = &engine;
  RunCommand(app.program(), "checkhdd", "start");
  EXPECT_EQ(Last().calls, 1);
  EXPECT_EQ(ToUtf8(Last().root), "C:\\");
  EXPECT_EQ(app.program().tables.MultiLineTextBoxes.at(0).Items,
            (std::vector<std::string>{"Überprüfung der Dateien (Phase 1 von 3)",
                                      "Größe der Zuordnungseinheit: 4096 Bytes",
                                      "Es wurden keine Probleme gefunden."}));
  EXPECT_EQ(app.program().tables.StatusBars.at(0).Percent, 0);
}

}  // namespace
}  // namespace qv
