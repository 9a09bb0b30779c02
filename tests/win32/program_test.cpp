// Quorvin.exe and quorvin-probe.exe of the build, started as a user or a skin author would:
// the built skin checked and rendered, a script run on a drive of the test, a start without a
// skin.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "TestDrives.h"
#include "platform/common/WindowsCommandLine.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  DWORD status = 0;
  std::string out;
  std::string err;
};

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char other = 0;
    ASSERT_TRUE(TakeTestDrives(&drive_, &other)) << "run through scripts/test-windows.sh";
    work_ = fs::path(std::string(1, drive_) + ":\\");
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    build_ = fs::path(std::wstring(self, n)).parent_path();
  }

  // Runs a program with its standard output and error in files of the test drive.
  Outcome Run(const fs::path& program, const std::vector<std::string>& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    // Files of their own: a process the program starts (Wine's desktop) may keep its handles.
    const std::string n = std::to_string(++runs_);
    const fs::path outFile = work_ / ("stdout" + n + ".txt"),
                   errFile = work_ / ("stderr" + n + ".txt");
    HANDLE out = CreateFileW(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    HANDLE err = CreateFileW(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE) << SystemMessage(GetLastError());
    EXPECT_NE(err, INVALID_HANDLE_VALUE) << SystemMessage(GetLastError());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string text = QuoteProgramPath(program.string());
    for (const std::string& a : arguments) text += " " + QuoteArgument(a);
    std::wstring line;
    EXPECT_TRUE(ToWide(text, &line));
    PROCESS_INFORMATION process{};
    Outcome o;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
      WaitForSingleObject(process.hProcess, INFINITE);
      GetExitCodeProcess(process.hProcess, &o.status);
      CloseHandle(process.hProcess);
      CloseHandle(process.hThread);
    } else {
      ADD_FAILURE() << "cannot start " << program.string() << ": " << SystemMessage(GetLastError());
      o.status = ~0u;
    }
    CloseHandle(out);
    CloseHandle(err);
    o.out = ReadText(outFile);
    o.err = ReadText(errFile);
    return o;
  }

  Outcome Probe(const std::vector<std::string>& arguments) {
    return Run(build_ / "quorvin-probe.exe", arguments);
  }

  // The build's program folder (settings.ini, Skin\) copied onto the test drive.
  fs::path CopyApp(bool withSkin) {
    const fs::path app = work_ / "app";
    fs::create_directories(app);
    fs::copy_file(build_ / "settings.ini", app / "settings.ini");
    if (withSkin) fs::copy(build_ / "Skin", app / "Skin", fs::copy_options::recursive);
    return app;
  }

  char drive_ = 0;
  fs::path work_, build_;
  int runs_ = 0;
};

// The width and height in a PNG's header; 0 x 0 for anything else.
std::pair<int, int> PngSize(const fs::path& file) {
  const std::string bytes = ReadText(file);
  if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
  auto be = [&](size_t at) {
    int v = 0;
    for (size_t k = 0; k < 4; ++k) v = v << 8 | static_cast<unsigned char>(bytes[at + k]);
    return v;
  };
  return {be(16), be(20)};
}

TEST_F(ProgramTest, ProbeLintsAndRendersTheBuiltSkin) {
  const Outcome lint = Probe({"lint", build_.string()});
  EXPECT_EQ(lint.status, 0u) << lint.out << lint.err;
  // The skin's decorations are notes, nothing else: a picture WIC cannot read would not be.
  std::istringstream lines(lint.out);
  for (std::string line; std::getline(lines, line);)
    EXPECT_NE(line.find("] Type: note: unknown type"), std::string::npos) << line;

  const fs::path shots = work_ / "shots";
  const Outcome o = Probe({"shots", build_.string(), shots.string()});
  ASSERT_EQ(o.status, 0u) << o.out << o.err;
  int screens = 0;
  for (const fs::directory_entry& e : fs::directory_iterator(build_ / "Skin")) {
    if (e.path().extension() != ".ini") continue;
    ++screens;
    const fs::path png = shots / (e.path().stem().string() + ".png");
    EXPECT_EQ(PngSize(png), std::make_pair(1024, 768)) << png.string();
  }
  EXPECT_GE(screens, 10);
}

TEST_F(ProgramTest, ProbeRunsAScriptOnADriveOfTheMachine) {
  const fs::path app = CopyApp(true);
  fs::create_directories(work_ / "Music");
  std::ofstream(work_ / "script.txt") << "press loadscreen explorer\n"
                                         "dump explorer.json\n"
                                         "shot explorer.png\n";
  const std::string drive = std::string(1, drive_) + "=" + drive_ + ":\\";
  const std::vector<std::string> common = {
      "run",     "--app-dir",           app.string(), "--drive",     drive,
      "--clock", "2026-03-01 10:00:00", "--out",      work_.string()};
  auto run = [&](const fs::path& script) {
    std::vector<std::string> args = common;
    args.push_back(script.string());
    return Probe(args);
  };
  const Outcome o = run(work_ / "script.txt");
  ASSERT_EQ(o.status, 0u) << o.out << o.err;
  const std::string dump = ReadText(work_ / "explorer.json");
  EXPECT_NE(dump.find("\"screen\": \"explorer\""), std::string::npos) << dump;
  EXPECT_NE(dump.find(std::string("\"SourcePath\": \"") + drive_ + ":\\\\\""), std::string::npos)
      << dump;
  // The source pane lists the drive's root.
  EXPECT_NE(dump.find("\"Music\""), std::string::npos) << dump;
  EXPECT_EQ(PngSize(work_ / "explorer.png"), std::make_pair(1024, 768));

  // A line that cannot be carried out, and drives Windows cannot give.
  std::ofstream(work_ / "bad.txt") << "press nosuch button\n";
  EXPECT_EQ(run(work_ / "bad.txt").status, 1u);
  for (const std::string& bad :
       {std::string(1, drive_) + "=" + app.string(), std::string("Q=") + drive_ + ":\\",
        drive + ",device=" + drive_ + ":\\disk.img"}) {
    const Outcome refused = Probe({"run", "--app-dir", app.string(), "--drive", bad, "script.txt"});
    EXPECT_EQ(refused.status, 2u) << bad;
    EXPECT_NE(refused.err.find("bad --drive"), std::string::npos) << refused.err;
  }
}

// The disk functions on the Windows engines, through the program: the check reaches the
// stand-in fmifs.dll beside the probe and shows its OEM report readably; Wine refuses the volume
// requests, so the map stays empty and defragmentation cannot start.
TEST_F(ProgramTest, ProbeDiskFunctionsRunOnTheWindowsEngines) {
  const fs::path app = CopyApp(true);
  std::ofstream(work_ / "disk.txt") << "press loadscreen checkhdd\n"
                                       "press checkhdd start\n"
                                       "dump check.json\n"
                                       "press loadscreen mainscreen\n"
                                       "press loadscreen defrag\n"
                                       "dump defrag.json\n";
  const Outcome o = Probe({"run", "--app-dir", app.string(), "--drive",
                           std::string(1, drive_) + "=" + drive_ + ":\\", "--out", work_.string(),
                           (work_ / "disk.txt").string()});
  ASSERT_EQ(o.status, 0u) << o.out << o.err;
  const std::string check = ReadText(work_ / "check.json");
  EXPECT_NE(check.find("\u00dcberpr\u00fcfung der Dateien (Phase 1 von 3)"), std::string::npos)
      << check;
  EXPECT_NE(check.find("Es wurden keine Probleme gefunden."), std::string::npos) << check;

  const std::string defrag = ReadText(work_ / "defrag.json");
  EXPECT_NE(defrag.find("\"screen\": \"defrag\""), std::string::npos) << defrag;
  EXPECT_NE(defrag.find("\"TotalClusters\": 0"), std::string::npos) << defrag;
  // The screen's one button with the command "start".
  const size_t start = defrag.find("\"start\"");
  ASSERT_NE(start, std::string::npos) << defrag;
  const size_t enabled = defrag.find("\"enabled\": ", start);
  ASSERT_NE(enabled, std::string::npos);
  EXPECT_EQ(defrag.compare(enabled, 16, "\"enabled\": false"), 0) << defrag.substr(start, 200);
}

TEST_F(ProgramTest, QuorvinWithoutItsSkinSaysWhyAndFails) {
  const fs::path app = CopyApp(false);
  fs::copy_file(build_ / "Quorvin.exe", app / "Quorvin.exe");
  SetEnvironmentVariableW(L"QV_NO_MESSAGE_BOX", L"1");
  const Outcome o = Run(app / "Quorvin.exe", {});
  EXPECT_NE(o.status, 0u);
  EXPECT_NE(o.err.find("the skin folder " + (app / "Skin").string() + " is missing"),
            std::string::npos)
      << o.err;

  // A skin without its loading pictures is found out once the window is open.
  fs::create_directories(app / "Skin");
  ASSERT_TRUE(fs::is_directory(app / "Skin")) << (app / "Skin").string();
  const Outcome empty = Run(app / "Quorvin.exe", {});
  EXPECT_EQ(empty.status, 1u);
  EXPECT_NE(empty.err.find("has no usable Loading_enabled.jpg"), std::string::npos) << empty.err;
}

}  // namespace
}  // namespace qv
