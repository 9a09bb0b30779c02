// Programs started through CreateProcessW: this test program starts itself, and the copy says
// which arguments and which window it was given and ends with a chosen code.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/common/WindowsCommandLine.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Processes.h"
//
#include <shellapi.h>

namespace qv {
namespace {

const wchar_t kReportTo[] = L"QV_TEST_REPORT_TO";

// Runs before main in the started copy: it writes its show state and arguments (as Windows
// programs split them) to the file the variable names, and ends.
bool ReportAndEndWhenAsked() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(kReportTo, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  std::string report = (startup.dwFlags & STARTF_USESHOWWINDOW)
                           ? "show " + std::to_string(startup.wShowWindow) + "\n"
                           : "show none\n";
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; args && i < count; ++i) report += ToUtf8(args[i]) + "\n";
  LocalFree(args);
  const HANDLE out = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(out, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
  CloseHandle(out);
  ExitProcess(300);
}
const bool kReported = ReportAndEndWhenAsked();

std::string SelfPath() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return ToUtf8(std::wstring_view(path, n));
}

class Win32ProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t dir[MAX_PATH];
    wchar_t file[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, dir), 0u);
    ASSERT_NE(GetTempFileNameW(dir, L"qvp", 0, file), 0u);
    report_ = file;
    SetEnvironmentVariableW(kReportTo, report_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableW(kReportTo, nullptr);
    DeleteFileW(report_.c_str());
  }

  // The report of a started copy, after its end with `code`.
  std::string RunToEnd(const std::string& line, ProgramWindow window, std::optional<int>* code) {
    const Result<int64_t> pid = processes_.Start(line, window);
    EXPECT_TRUE(pid) << pid.message();
    if (!pid) return "";
    // Polled as the program's yields do; the test's time limit bounds the wait.
    while (!(*code = processes_.Ended(*pid))) Sleep(5);
    EXPECT_EQ(processes_.Ended(*pid), *code);  // asked again
    std::ifstream in(report_.c_str(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  Win32Processes processes_;
  std::wstring report_;
};

TEST_F(Win32ProcessesTest, ArgumentsWindowAndExitCodeArrive) {
  const std::vector<std::string> args = {
      "a b", "say \"hi\" twice", "tail\\", "C:\\dir with blanks\\", "", "\xC3\xBCn\xC3\xAF"};
  std::string line = QuoteProgramPath(SelfPath());
  std::string expected = "show 0\n";
  for (const std::string& a : args) {
    line += " " + QuoteArgument(a);
    expected += a + "\n";
  }
  std::optional<int> code;
  EXPECT_EQ(RunToEnd(line, ProgramWindow::Hidden, &code), expected);
  // The whole code, not only its low byte.
  EXPECT_EQ(code, 300);

  EXPECT_EQ(RunToEnd(QuoteProgramPath(SelfPath()), ProgramWindow::Maximised, &code),
            "show " + std::to_string(SW_SHOWMAXIMIZED) + "\n");
}

TEST_F(Win32ProcessesTest, WhatCannotStartSaysWhy) {
  const Result<int64_t> missing =
      processes_.Start("\"C:\\no such folder\\none.exe\" x", ProgramWindow::Hidden);
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.message().find("none.exe"), std::string::npos) << missing.message();
  EXPECT_FALSE(processes_.Start("", ProgramWindow::Hidden));
  EXPECT_FALSE(processes_.Start("\"C:\\bad\xFF.exe\"", ProgramWindow::Hidden));
  EXPECT_EQ(processes_.Ended(-5), -1);  // not one of its own
}

}  // namespace
}  // namespace qv
