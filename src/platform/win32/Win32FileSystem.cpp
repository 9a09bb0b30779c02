#include "platform/win32/Win32FileSystem.h"

#include <algorithm>
#include <cstddef>
#include <optional>

#include "platform/common/DosPath.h"
#include "platform/common/DriveLetters.h"
#include "platform/win32/WideText.h"
//
#include <winioctl.h>

namespace qv {

namespace {

Status LastError() {
  return Status::Error(SystemMessage(GetLastError()));
}

int64_t UnixSeconds(const FILETIME& t) {
  const auto units =
      static_cast<int64_t>(static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime);
  return units / 10000000 - 11644473600;
}

uint64_t SizeOf(DWORD high, DWORD low) {
  return static_cast<uint64_t>(high) << 32 | low;
}

// Symbolic links and junctions lead elsewhere; other reparse points (placeholders of cloud
// files, deduplicated files) are the files themselves.
bool IsLink(DWORD attributes, DWORD tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT);
}

std::wstring RootOf(char letter) {
  return std::wstring{static_cast<wchar_t>(letter), L':', L'\\'};
}

// Looks the one name up as it is stored: the handle of a search for it, with its data.
class Found {
 public:
  explicit Found(const std::wstring& native) {
    handle_ = FindFirstFileExW(native.c_str(), FindExInfoBasic, &data_, FindExSearchNameMatch,
                               nullptr, 0);
  }
  ~Found() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  Found(const Found&) = delete;
  Found& operator=(const Found&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  const WIN32_FIND_DATAW& data() const { return data_; }

 private:
  HANDLE handle_;
  WIN32_FIND_DATAW data_{};
};

}  // namespace

Win32FileSystem::Win32FileSystem(std::vector<char> drives, std::string appFolder) {
  if (const std::optional<DosPath> split = SplitDosPath(appFolder))
    appFolder_ = JoinDosPath(split->letter, split->names);
  for (const char c : drives) {
    const char letter = AsciiUpper(c);
    if (letter >= 'A' && letter <= 'Z') drives_.push_back(letter);
  }
}

bool Win32FileSystem::NativePath(const std::string& dosPath, std::wstring* native) {
  const std::optional<DosPath> split = SplitDosPath(dosPath);
  if (!split) return false;
  std::string path = std::string("\\\\?\\") + split->letter + ":\\";
  for (size_t k = 0; k < split->names.size(); ++k) {
    const std::string& name = split->names[k];
    // In this form Windows checks nothing: a ":" would open a stream of the file, a "\" (from
    // its private-use form) reach another folder.
    for (const char c : name)
      if (static_cast<unsigned char>(c) < 0x20 ||
          std::string("\\/:*?\"<>|").find(c) != std::string::npos)
        return false;
    path += name;
    if (k + 1 < split->names.size()) path += '\\';
  }
  return ToWide(path, native);
}

bool Win32FileSystem::IsVolumeMountPoint(const std::wstring& native) {
  const HANDLE h = CreateFileW(
      native.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  // The mount point layout of REPARSE_DATA_BUFFER, which only the driver headers declare.
  struct MountPoint {
    DWORD tag;
    WORD dataLength, reserved, substituteOffset, substituteLength, printOffset, printLength;
    wchar_t names[1];
  };
  alignas(MountPoint) unsigned char buffer[16 * 1024];
  DWORD n = 0;
  const bool read =
      DeviceIoControl(h, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer, sizeof buffer, &n, nullptr);
  CloseHandle(h);
  const auto* m = reinterpret_cast<const MountPoint*>(buffer);
  if (!read || n < offsetof(MountPoint, names) || m->tag != IO_REPARSE_TAG_MOUNT_POINT ||
      offsetof(MountPoint, names) + m->substituteOffset + size_t{m->substituteLength} > n)
    return false;
  // A volume's target is "\??\Volume{GUID}\"; a junction's is a folder's path.
  const std::wstring_view target(m->names + m->substituteOffset / sizeof(wchar_t),
                                 m->substituteLength / sizeof(wchar_t));
  return target.rfind(L"\\??\\Volume{", 0) == 0;
}

bool Win32FileSystem::Offered(const std::string& dosPath) const {
  const std::optional<char> letter = DriveLetterOf(dosPath);
  return letter &&
         (drives_.empty() || std::find(drives_.begin(), drives_.end(), *letter) != drives_.end());
}

std::string Win32FileSystem::ExecutableFolder() const {
  if (!appFolder_.empty()) return appFolder_;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  if (path.rfind(L"\\\\?\\", 0) == 0) path.erase(0, 4);
  const size_t slash = path.rfind(L'\\');
  if (slash == std::wstring::npos) return std::string();
  // The root keeps its "\"; every other folder goes without.
  path.resize(slash == 2 ? 3 : slash);
  const std::optional<DosPath> split = SplitDosPath(ToUtf8(path));
  return split ? JoinDosPath(split->letter, split->names) : std::string();
}

std::vector<std::string> Win32FileSystem::LogicalDrives() const {
  wchar_t roots[27 * 4 + 1] = {};
  const DWORD n = GetLogicalDriveStringsW(sizeof roots / sizeof roots[0], roots);
  std::vector<std::string> drives;
  if (n == 0 || n >= sizeof roots / sizeof roots[0]) return drives;
  for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
    const std::string dos = ToUtf8(root);
    if (Offered(dos)) drives.push_back(dos);
  }
  return drives;
}

int Win32FileSystem::GetDriveType(const std::string& root) const {
  if (!Offered(root)) return kDriveNoRoot;
  return static_cast<int>(GetDriveTypeW(RootOf(*DriveLetterOf(root)).c_str()));
}

Result<VolumeInfo> Win32FileSystem::GetVolumeInfo(const std::string& root) const {
  if (!Offered(root)) return Status::Error("no such drive");
  wchar_t label[MAX_PATH + 1] = {};
  wchar_t fileSystem[MAX_PATH + 1] = {};
  DWORD serial = 0, longestName = 0, flags = 0;
  if (!GetVolumeInformationW(RootOf(*DriveLetterOf(root)).c_str(), label, MAX_PATH + 1, &serial,
                             &longestName, &flags, fileSystem, MAX_PATH + 1))
    return LastError();
  return VolumeInfo{ToUtf8(label), serial, ToUtf8(fileSystem)};
}

Result<FreeSpace> Win32FileSystem::GetFreeSpace(const std::string& path) {
  if (!Offered(path)) return Status::Error("no such drive");
  ULARGE_INTEGER toCaller, total, free;
  if (!GetDiskFreeSpaceExW(RootOf(*DriveLetterOf(path)).c_str(), &toCaller, &total, &free))
    return LastError();
  return FreeSpace{toCaller.QuadPart, total.QuadPart};
}

Result<std::vector<DirEntry>> Win32FileSystem::ListFolder(const std::string& folder, ListDetail) {
  std::wstring native;
  if (!Offered(folder)) return Status::Error("no such drive");
  if (!NativePath(folder, &native)) return Status::Error("not a valid path");
  if (native.back() != L'\\') native += L'\\';
  native += L'*';
  std::vector<DirEntry> entries;
  WIN32_FIND_DATAW d;
  const HANDLE find = FindFirstFileExW(native.c_str(), FindExInfoBasic, &d, FindExSearchNameMatch,
                                       nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    // An empty drive root has not even "." to list.
    if (GetLastError() == ERROR_FILE_NOT_FOUND && IsFolder(folder, FollowLinks::Yes))
      return entries;
    return LastError();
  }
  do {
    const std::wstring_view name(d.cFileName);
    if (name == L"." || name == L"..") continue;
    const bool directory = d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    const bool link = IsLink(d.dwFileAttributes, d.dwReserved0);
    // Another volume mounted here is no part of this drive.
    if (link && directory && d.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT &&
        IsVolumeMountPoint(native.substr(0, native.size() - 1) + std::wstring(name)))
      continue;
    DirEntry e;
    e.name = MapHostName(ToUtf8(name));
    e.isFolder = directory && !link;
    e.kind = link ? (directory ? EntryKind::LinkToFolder : EntryKind::LinkToFile)
                  : (directory ? EntryKind::Folder : EntryKind::File);
    e.hidden = d.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN;
    e.size = directory ? 0 : SizeOf(d.nFileSizeHigh, d.nFileSizeLow);
    e.modified = UnixSeconds(d.ftLastWriteTime);
    entries.push_back(std::move(e));
  } while (FindNextFileW(find, &d));
  const DWORD error = GetLastError();
  FindClose(find);
  if (error != ERROR_NO_MORE_FILES) return Status::Error(SystemMessage(error));
  return entries;
}

bool Win32FileSystem::IsFolder(const std::string& path, FollowLinks links) {
  std::wstring native;
  if (!Offered(path) || !NativePath(path, &native)) return false;
  const DWORD attributes = GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  if (links == FollowLinks::Yes || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return true;
  const Found found(native);
  return found.ok() && !IsLink(found.data().dwFileAttributes, found.data().dwReserved0);
}

PathState Win32FileSystem::Probe(const std::string& path, NameCase nameCase) {
  std::wstring native;
  if (!Offered(path) || !NativePath(path, &native)) return PathState::Present;
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(native.c_str(), GetFileExInfoStandard, &a))
    // Only a missing last name in an existing folder says "file not found".
    return GetLastError() == ERROR_FILE_NOT_FOUND ? PathState::Absent : PathState::Present;
  const std::optional<DosPath> split = SplitDosPath(path);
  if (nameCase == NameCase::Any || split->names.empty()) return PathState::Present;
  std::wstring written;
  const Found found(native);
  if (!found.ok() || !ToWide(split->names.back(), &written)) return PathState::Present;
  return written == found.data().cFileName ? PathState::Present : PathState::Absent;
}

Result<std::vector<uint8_t>> Win32FileSystem::ReadWholeFile(const std::string& path) {
  std::wstring native;
  if (!Offered(path)) return Status::Error("no such drive");
  if (!NativePath(path, &native)) return Status::Error("not a valid path");
  const HANDLE file = CreateFileW(native.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  // Settings, layouts and pictures are far smaller: a larger file is refused before memory
  // runs out.
  const uint64_t kLimit = uint64_t{256} << 20;
  LARGE_INTEGER size{};
  std::vector<uint8_t> bytes;
  Status failed = Status::Ok();
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &size))
    failed = Status::Error("not a file");
  else if (static_cast<uint64_t>(size.QuadPart) > kLimit)
    failed = Status::Error("too large to read whole");
  size_t filled = 0;
  if (failed.ok()) bytes.resize(static_cast<size_t>(size.QuadPart) + 1);
  while (failed.ok()) {
    // A file that grew since its size was read grows the buffer, up to the limit.
    if (filled == bytes.size()) {
      if (bytes.size() > kLimit) {
        failed = Status::Error("too large to read whole");
        break;
      }
      bytes.resize(bytes.size() * 2);
    }
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - filled, 1u << 30));
    if (!ReadFile(file, bytes.data() + filled, want, &n, nullptr)) {
      failed = LastError();
      break;
    }
    if (n == 0) break;
    filled += n;
  }
  CloseHandle(file);
  if (!failed.ok()) return failed;
  bytes.resize(filled);
  return bytes;
}

std::string Win32FileSystem::HostPath(const std::string& dosPath) {
  const std::optional<DosPath> split = SplitDosPath(dosPath);
  if (!split) return dosPath;
  std::string host = std::string(1, split->letter) + ":\\";
  for (size_t k = 0; k < split->names.size(); ++k) host += (k > 0 ? "\\" : "") + split->names[k];
  return host;
}

Status Win32FileSystem::CreateFolder(const std::string& path) {
  std::wstring native;
  if (!Offered(path)) return Status::Error("no such drive");
  if (!NativePath(path, &native)) return Status::Error("not a valid path");
  return CreateDirectoryW(native.c_str(), nullptr) ? Status::Ok() : LastError();
}

Status Win32FileSystem::CreatePath(const std::string& folderPath) {
  const std::optional<DosPath> split = SplitDosPath(folderPath);
  if (!split || !Offered(folderPath)) return Status::Error("no such drive");
  // A last name without a "\" after it is a file's.
  const size_t folders = split->trailingSeparator || split->names.empty() ? split->names.size()
                                                                          : split->names.size() - 1;
  std::vector<std::string> names;
  for (size_t k = 0; k < folders; ++k) {
    names.push_back(split->names[k]);
    std::wstring native;
    if (!NativePath(JoinDosPath(split->letter, names), &native))
      return Status::Error("not a valid path");
    if (CreateDirectoryW(native.c_str(), nullptr)) continue;
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (error != ERROR_ALREADY_EXISTS || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return Status::Error(SystemMessage(error));
  }
  return Status::Ok();
}

Status Win32FileSystem::Rename(const std::string& from, const std::string& to) {
  std::wstring a, b;
  if (!Offered(from) || DriveLetterOf(from) != DriveLetterOf(to))
    return Status::Error("not on the same drive");
  if (!NativePath(from, &a) || !NativePath(to, &b)) return Status::Error("not a valid path");
  const bool caseOnly =
      a != b && CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
  // Never replacing: a name that exists stays what it is.
  if (!caseOnly) return MoveFileExW(a.c_str(), b.c_str(), 0) ? Status::Ok() : LastError();
  // A change of case alone, which the system may take for a rename onto itself and leave
  // undone: through a name of its own in the same folder.
  const std::wstring step = a + L".qv-rename";
  if (!MoveFileExW(a.c_str(), step.c_str(), 0)) return LastError();
  if (MoveFileExW(step.c_str(), b.c_str(), 0)) return Status::Ok();
  const Status failed = LastError();
  MoveFileExW(step.c_str(), a.c_str(), 0);
  return failed;
}

Result<uint64_t> Win32FileSystem::FileLength(const std::string& path) {
  std::wstring native;
  if (!Offered(path)) return Status::Error("no such drive");
  if (!NativePath(path, &native)) return Status::Error("not a valid path");
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExW(native.c_str(), GetFileExInfoStandard, &a)) return LastError();
  if (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Status::Error("not a file");
  return SizeOf(a.nFileSizeHigh, a.nFileSizeLow);
}

}  // namespace qv
