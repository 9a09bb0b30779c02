#include "platform/win32/Win32JunkScan.h"

#include <shlobj.h>

#include <algorithm>

#include "platform/common/DosPath.h"
#include "platform/common/DriveLetters.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32PathChain.h"

namespace qv {
namespace {

// Whether the entry may go now, with who it is: an open for deletion that shares nothing fails
// while any program holds it (or, for a folder, works in it), and where the user may not
// delete it.
bool MayGo(const std::wstring& native, BY_HANDLE_FILE_INFORMATION* info) {
  const WinHandle h(OpenAsIs(native, DELETE | FILE_READ_ATTRIBUTES, 0));
  return h.ok() && GetFileInformationByHandle(h.get(), info);
}

bool IsRecycleBinName(const std::wstring& name) {
  for (const wchar_t* bin : {L"$Recycle.Bin", L"RECYCLER", L"RECYCLED"})
    if (CompareStringOrdinal(name.c_str(), -1, bin, -1, TRUE) == CSTR_EQUAL) return true;
  return false;
}

bool IsReparseFolder(const WIN32_FIND_DATAW& d) {
  return (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
         (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsMountedVolume(const std::wstring& native, const WIN32_FIND_DATAW& d) {
  return IsReparseFolder(d) && d.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT &&
         Win32FileSystem::IsVolumeMountPoint(native);
}

// Everything a folder lists but "." and "..".
template <typename Visit>
bool ForEachEntry(const std::wstring& folder, Visit visit) {
  WIN32_FIND_DATAW d;
  const HANDLE find = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &d,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool whole = true;
  do {
    const std::wstring_view name(d.cFileName);
    if (name == L"." || name == L"..") continue;
    if (!visit(d)) {
      whole = false;
      break;
    }
  } while (FindNextFileW(find, &d));
  const DWORD error = GetLastError();  // why, for the caller
  if (whole && error != ERROR_NO_MORE_FILES) whole = false;
  FindClose(find);
  SetLastError(error);
  return whole;
}

// True when anything below the folder must stay.
bool HoldsKept(const std::wstring& folder, const std::function<bool()>& keepGoing,
               unsigned* visited) {
  bool kept = false;
  const bool whole = ForEachEntry(folder, [&](const WIN32_FIND_DATAW& d) {
    if (++*visited % 256 == 0 && keepGoing && !keepGoing()) return !(kept = true);
    const std::wstring native = folder + L"\\" + d.cFileName;
    BY_HANDLE_FILE_INFORMATION info;
    // A reparse point goes as itself; a folder is walked before it is tried, as the walk
    // itself opens it.
    const bool walk = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsReparseFolder(d);
    kept = IsMountedVolume(native, d) || (walk && HoldsKept(native, keepGoing, visited)) ||
           !MayGo(native, &info);
    return !kept;
  });
  return kept || !whole;
}

}  // namespace

Win32JunkScan::Win32JunkScan(const Win32FileSystem& files) : files_(files) {}

bool Win32JunkScan::Offered(const std::string& dosPath) const {
  const std::optional<char> letter = DriveLetterOf(dosPath);
  if (!letter) return false;
  const std::vector<std::string> drives = files_.LogicalDrives();
  return std::any_of(drives.begin(), drives.end(),
                     [&](const std::string& d) { return DriveLetterOf(d) == letter; });
}

PathChain Win32JunkScan::ChainTo(const std::string& dosPath, bool parentOnly) const {
  return Offered(dosPath) ? PathChain(dosPath, parentOnly) : PathChain();
}

bool Win32JunkScan::GatherInUse(const std::function<bool()>&) {
  return true;
}

Result<std::vector<JunkScanEntry>> Win32JunkScan::List(const std::string& folder) {
  const PathChain chain = ChainTo(folder, false);
  if (!chain)
    return Status::Error(chain.error() ? SystemMessage(chain.error()) : "no folder of a drive");
  std::vector<JunkScanEntry> entries;
  const bool whole = ForEachEntry(chain.native(), [&](const WIN32_FIND_DATAW& d) {
    const std::wstring native = chain.native() + L"\\" + d.cFileName;
    // Another volume's mount point is no part of this drive.
    if (IsMountedVolume(native, d)) return true;
    JunkScanEntry e;
    e.name = MapHostName(ToUtf8(d.cFileName));
    e.isFolder = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsReparseFolder(d);
    e.recycleBin = e.isFolder && chain.isTop() && IsRecycleBinName(d.cFileName);
    BY_HANDLE_FILE_INFORMATION info;
    // Folders are tried by Examine, after the walk below them.
    e.kept = !e.isFolder && !MayGo(native, &info);
    // Whose an entry is decides nothing here: what the user may not delete is kept above.
    e.othersOwn = false;
    entries.push_back(std::move(e));
    return true;
  });
  if (!whole) return Status::Error(SystemMessage(GetLastError()));
  return entries;
}

std::optional<JunkItem> Win32JunkScan::Examine(const std::string& path,
                                               const std::function<bool()>& keepGoing) {
  const PathChain chain = ChainTo(path, true);
  if (!chain) return std::nullopt;
  const std::wstring native = chain.LeafPath();
  WIN32_FIND_DATAW d;
  if (!Listed(native, &d)) return std::nullopt;
  const bool folder = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsReparseFolder(d);
  if (IsMountedVolume(native, d) || (folder && chain.isTop() && IsRecycleBinName(d.cFileName)))
    return std::nullopt;
  unsigned visited = 0;
  if (folder && HoldsKept(native, keepGoing, &visited)) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  WIN32_FIND_DATAW after;
  if (!MayGo(native, &info) || info.dwVolumeSerialNumber != chain.serial() ||
      !Listed(native, &after))
    return std::nullopt;
  // What the walk saw must be what was tried.
  const bool reparse =
      (info.dwFileAttributes | after.dwFileAttributes) & FILE_ATTRIBUTE_REPARSE_POINT;
  const bool isFolder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !reparse;
  if (isFolder != folder) return std::nullopt;
  JunkItem item;
  item.id.device = info.dwVolumeSerialNumber;
  item.id.inode = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  item.id.isFolder = isFolder;
  item.bytes = (reparse || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                   ? 0
                   : static_cast<uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
  return item;
}

bool Win32JunkScan::Recheck(const std::string& path, const JunkIdentity& id,
                            const std::function<bool()>& keepGoing) {
  const std::optional<JunkItem> now = Examine(path, keepGoing);
  return now && now->id.device == id.device && now->id.inode == id.inode &&
         now->id.isFolder == id.isFolder;
}

bool Win32JunkScan::Gone(const std::string& path) {
  const PathChain chain = ChainTo(path, true);
  if (!chain) return chain.error() == ERROR_FILE_NOT_FOUND || chain.error() == ERROR_PATH_NOT_FOUND;
  return GetFileAttributesW(chain.LeafPath().c_str()) == INVALID_FILE_ATTRIBUTES &&
         GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::string Win32JunkScan::SpecialFolder(const std::string& which) const {
  wchar_t buffer[MAX_PATH + 1] = {};
  std::wstring folder;
  if (which == "windows temp") {
    const UINT n = GetWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (n > 0 && n <= MAX_PATH) folder = std::wstring(buffer, n) + L"\\Temp";
  } else if (which == "user temp") {
    // The user's own temporary folder (where the history's neighbour "temp" was on older
    // systems; that one names no folder any more).
    const DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n > 0 && n <= MAX_PATH) folder.assign(buffer, n);
  } else if (which == "cookies") {
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_COOKIES, nullptr, SHGFP_TYPE_CURRENT, buffer)))
      folder = buffer;
  }
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  if (folder.empty()) return "";
  // The names as stored, not their short forms.
  wchar_t full[32768];
  const DWORD n = GetLongPathNameW(folder.c_str(), full, 32768);
  if (n > 0 && n < 32768) folder.assign(full, n);
  const std::optional<DosPath> split = SplitDosPath(ToUtf8(folder));
  if (!split || split->names.empty() || !Offered(ToUtf8(folder))) return "";
  std::string dos = JoinDosPath(split->letter, split->names) + "\\";
  // Everything directly inside is junk: a temporary folder set to the user's profile or above
  // it would clear away the user's own files.
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    std::wstring profile = buffer;
    const DWORD m = GetLongPathNameW(profile.c_str(), full, 32768);
    if (m > 0 && m < 32768) profile.assign(full, m);
    profile += L"\\";
    std::wstring wideDos;
    if (ToWide(dos, &wideDos) && profile.size() >= wideDos.size() &&
        CompareStringOrdinal(profile.c_str(), static_cast<int>(wideDos.size()), wideDos.c_str(), -1,
                             TRUE) == CSTR_EQUAL)
      return "";
  }
  return dos;
}

}  // namespace qv
