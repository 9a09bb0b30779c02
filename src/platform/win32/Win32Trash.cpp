#include <cstdio>
#include <optional>

#include "platform/common/DosPath.h"
#include "platform/common/DriveLetters.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileSystem.h"
//
#include <shellapi.h>

namespace qv {

namespace {

std::string Hex(unsigned long code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%lX", code);
  return text;
}

}  // namespace

Status Win32FileSystem::DeleteToTrash(const std::string& path) {
  const std::optional<DosPath> split = SplitDosPath(path);
  std::wstring native;
  if (!split || !Offered(path)) return Status::Error("no such drive");
  if (split->names.empty()) return Status::Error("a drive cannot go to the recycle bin");
  if (!NativePath(path, &native)) return Status::Error("not a valid path");
  if (GetFileAttributesW(native.c_str()) == INVALID_FILE_ATTRIBUTES)
    return Status::Error(SystemMessage(GetLastError()));
  // The shell takes no "\\?\" paths: in the plain form a name ending in a dot or blank would
  // be another file's, and a long path none.
  std::wstring plain;
  for (const std::string& name : split->names)
    if (name.back() == '.' || name.back() == ' ')
      return Status::Error("this name cannot go to the recycle bin");
  if (!ToWide(HostPath(path), &plain) || plain.size() >= MAX_PATH)
    return Status::Error("this path is too long for the recycle bin");
  if (GetDriveTypeW(plain.substr(0, 3).c_str()) != DRIVE_FIXED)
    return Status::Error("this drive has no recycle bin");

  plain.append(2, L'\0');  // a list of one
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = plain.c_str();
  // Where the bin cannot take it, the shell would delete for good without a word; with the
  // warning it asks the user first.
  op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING | FOF_NOERRORUI | FOF_SILENT;
  const int result = SHFileOperationW(&op);
  if (result != 0) return Status::Error("not moved to the recycle bin (" + Hex(result) + ")");
  if (op.fAnyOperationsAborted) return Status::Error("not moved to the recycle bin");
  if (GetFileAttributesW(native.c_str()) != INVALID_FILE_ATTRIBUTES)
    return Status::Error("still there after the move to the recycle bin");
  return Status::Ok();
}

Status Win32FileSystem::EmptyTrash() {
  const HRESULT emptied = SHEmptyRecycleBinW(
      nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
  // Some systems call emptying an empty bin unexpected: what counts is what is left.
  SHQUERYRBINFO left{};
  left.cbSize = sizeof left;
  if (SUCCEEDED(SHQueryRecycleBinW(nullptr, &left)) && left.i64NumItems == 0) return Status::Ok();
  return Status::Error("the recycle bin was not emptied (" +
                       Hex(static_cast<unsigned long>(emptied)) + ")");
}

}  // namespace qv
