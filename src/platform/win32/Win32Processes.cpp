#include "platform/win32/Win32Processes.h"

#include <vector>

#include "platform/common/WindowsCommandLine.h"
#include "platform/win32/WideText.h"

namespace qv {

Win32Processes::~Win32Processes() {
  for (const auto& [pid, handle] : running_) CloseHandle(handle);
}

Result<int64_t> Win32Processes::Start(const std::string& windowsCommandLine, ProgramWindow window) {
  const std::vector<std::string> args = SplitWindowsCommandLine(windowsCommandLine);
  if (args.empty() || args[0].empty()) return Status::Error("the command line names no program");
  std::wstring program, line;
  if (!ToWide(args[0], &program) || !ToWide(windowsCommandLine, &line))
    return Status::Error("the command line is not valid UTF-8");
  // The program named explicitly: an unquoted path with blanks is then never taken for a
  // shorter one ("C:\Program" of "C:\Program Files\..."). Command scripts need the interpreter,
  // which Windows finds for them only from the line.
  const std::wstring lower = program.size() >= 4 ? program.substr(program.size() - 4) : L"";
  const bool script =
      _wcsicmp(lower.c_str(), L".bat") == 0 || _wcsicmp(lower.c_str(), L".cmd") == 0;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  DWORD flags = CREATE_UNICODE_ENVIRONMENT;
  if (window == ProgramWindow::Hidden) {
    startup.wShowWindow = SW_HIDE;
    // A console program gets no console window either.
    flags |= CREATE_NO_WINDOW;
  } else {
    startup.wShowWindow = SW_SHOWMAXIMIZED;
    flags |= CREATE_NEW_CONSOLE;
  }
  PROCESS_INFORMATION info{};
  // CreateProcessW may write into the line.
  std::vector<wchar_t> mutableLine(line.begin(), line.end());
  mutableLine.push_back(L'\0');
  if (!CreateProcessW(script ? nullptr : program.c_str(), mutableLine.data(), nullptr, nullptr,
                      FALSE, flags, nullptr, nullptr, &startup, &info))
    return Status::Error(args[0] + ": " + SystemMessage(GetLastError()));
  CloseHandle(info.hThread);
  const int64_t pid = info.dwProcessId;
  // The handle held on a running one keeps its id from being reused; an ended one's may be.
  ended_.erase(pid);
  running_.emplace(pid, info.hProcess);
  return pid;
}

std::optional<int> Win32Processes::Ended(int64_t pid) {
  if (auto known = ended_.find(pid); known != ended_.end()) return known->second;
  auto running = running_.find(pid);
  if (running == running_.end()) return -1;
  const DWORD wait = WaitForSingleObject(running->second, 0);
  if (wait == WAIT_TIMEOUT) return std::nullopt;
  DWORD code = 0;
  // A handle that cannot be waited on will never tell more: ended, code unknown.
  const int exit = wait == WAIT_OBJECT_0 && GetExitCodeProcess(running->second, &code)
                       ? static_cast<int>(code)
                       : -1;
  CloseHandle(running->second);
  running_.erase(running);
  ended_[pid] = exit;
  return exit;
}

}  // namespace qv
