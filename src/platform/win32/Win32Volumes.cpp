#include "platform/win32/Win32Volumes.h"

#include <winioctl.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/common/DriveLetters.h"
#include "platform/win32/VolumeAnswers.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32PathChain.h"

namespace qv {
namespace {

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return FileIdentity{info.dwVolumeSerialNumber,
                      static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

// One request whose answer starts with the 8-byte starting cluster it was asked for.
ControlAnswer Ask(HANDLE h, DWORD code, int64_t start, uint8_t* reply, DWORD replySize) {
  LARGE_INTEGER request;
  request.QuadPart = start;
  DWORD n = 0;
  ControlAnswer answer;
  answer.bytes = reply;
  answer.error = DeviceIoControl(h, code, &request, sizeof request, reply, replySize, &n, nullptr)
                     ? 0
                     : GetLastError();
  answer.size = std::min<size_t>(n, replySize);
  return answer;
}

Result<uint32_t> Noted(Result<uint32_t> read, const ControlAnswer& answer, uint32_t* error) {
  if (error)
    *error = !read && (answer.error == kVolumeOk || answer.error == kVolumeMoreData)
                 ? ERROR_INVALID_DATA
                 : answer.error;
  return read;
}

class Win32OpenVolume : public OpenVolume {
 public:
  explicit Win32OpenVolume(WinHandle h) : h_(std::move(h)) {}
  Result<uint32_t> GetVolumeBitmap(int64_t startingLcn, VolumeBitmap* out) override {
    return ReadVolumeBitmap(h_.get(), startingLcn, out);
  }

 private:
  WinHandle h_;
};

class Win32OpenFile : public OpenFile {
 public:
  Win32OpenFile(WinHandle h, FileIdentity id) : h_(std::move(h)), id_(id) {}
  FileIdentity Identity() const override { return id_; }
  Result<uint32_t> GetRetrievalPointers(int64_t startingVcn, RetrievalPointers* out) override {
    return ReadRetrievalPointers(h_.get(), startingVcn, out);
  }

 private:
  WinHandle h_;
  FileIdentity id_;
};

bool IsPlainFile(DWORD attributes) {
  return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

}  // namespace

Result<uint32_t> ReadVolumeBitmap(HANDLE volume, int64_t startingLcn, VolumeBitmap* out,
                                  uint32_t* error) {
  alignas(8) uint8_t reply[kBitmapAnswerBytes];
  const ControlAnswer answer =
      Ask(volume, FSCTL_GET_VOLUME_BITMAP, startingLcn, reply, sizeof reply);
  return Noted(ReadBitmapAnswer(startingLcn, answer, out), answer, error);
}

Result<uint32_t> ReadRetrievalPointers(HANDLE file, int64_t startingVcn, RetrievalPointers* out,
                                       uint32_t* error) {
  // Too large for the stack of every caller's thread.
  std::vector<uint8_t> reply(kExtentsAnswerBytes);
  const ControlAnswer answer = Ask(file, FSCTL_GET_RETRIEVAL_POINTERS, startingVcn, reply.data(),
                                   static_cast<DWORD>(reply.size()));
  return Noted(ReadExtentsAnswer(startingVcn, answer, out), answer, error);
}

bool VolumeDevicePath(const std::string& dosPath, std::wstring* device) {
  const std::optional<char> letter = DriveLetterOf(dosPath);
  if (!letter) return false;
  *device = std::wstring(L"\\\\.\\") + static_cast<wchar_t>(*letter) + L":";
  return true;
}

Win32Volumes::Win32Volumes(const Win32FileSystem& files) : files_(files) {}

bool Win32Volumes::Offered(const std::string& dosPath) const {
  const std::optional<char> letter = DriveLetterOf(dosPath);
  if (!letter) return false;
  const std::vector<std::string> drives = files_.LogicalDrives();
  return std::any_of(drives.begin(), drives.end(),
                     [&](const std::string& d) { return DriveLetterOf(d) == letter; });
}

Result<std::unique_ptr<OpenVolume>> Win32Volumes::Open(const std::string& drive) {
  std::wstring device;
  if (drive.size() != 2 || !Offered(drive) || !VolumeDevicePath(drive, &device))
    return Status::Error("no drive " + drive);
  WinHandle h(CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr));
  if (!h.ok()) {
    const DWORD error = GetLastError();
    // Only an administrator may read a volume's allocation.
    if (error == ERROR_ACCESS_DENIED) return Status::Error(kVolumeNeedsRights);
    return Status::Error("the volume " + drive + " cannot be opened: " + SystemMessage(error));
  }
  return std::unique_ptr<OpenVolume>(new Win32OpenVolume(std::move(h)));
}

Result<std::unique_ptr<OpenFile>> Win32Volumes::OpenForExtents(const std::string& path,
                                                               bool forMoving) {
  std::wstring native;
  if (!Offered(path) || !Win32FileSystem::NativePath(path, &native))
    return Status::Error("not a file of a drive: " + path);
  // Without backup semantics a folder does not open; a reparse point opens as itself.
  WinHandle h(CreateFileW(native.c_str(), forMoving ? DELETE | FILE_READ_DATA : GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h.ok()) return Status::Error(SystemMessage(GetLastError()));
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h.get(), &info))
    return Status::Error(SystemMessage(GetLastError()));
  WIN32_FIND_DATAW listed;
  if (!IsPlainFile(info.dwFileAttributes) || !Listed(native, &listed) ||
      !IsPlainFile(listed.dwFileAttributes))
    return Status::Error("not a regular file: " + path);
  return std::unique_ptr<OpenFile>(new Win32OpenFile(std::move(h), IdentityOf(info)));
}

bool Win32Volumes::IsSameFile(const std::string& path, const FileIdentity& identity) {
  if (!Offered(path)) return false;
  const PathChain chain(path, true);
  if (!chain) return false;
  const WinHandle h(OpenAsIs(chain.LeafPath(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
  BY_HANDLE_FILE_INFORMATION info;
  WIN32_FIND_DATAW listed;
  return h.ok() && GetFileInformationByHandle(h.get(), &info) &&
         IsPlainFile(info.dwFileAttributes) && Listed(chain.LeafPath(), &listed) &&
         IsPlainFile(listed.dwFileAttributes) && info.dwVolumeSerialNumber == chain.serial() &&
         IdentityOf(info) == identity;
}

}  // namespace qv
