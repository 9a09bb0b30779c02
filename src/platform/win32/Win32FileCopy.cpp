#include <algorithm>
#include <optional>
#include <vector>

#include "platform/common/DosPath.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32FileSystem.h"

namespace qv {

namespace {

constexpr DWORD kBlockBytes = DWORD{1} << 20;

CopyOutcome Failed(DWORD error) {
  return Status::Error(SystemMessage(error));
}

// The file being written; deleted again unless it was given its final name.
class PendingFile {
 public:
  explicit PendingFile(std::wstring path) : path_(std::move(path)) {
    // A leftover of a killed copy goes first; deleting a link there removes the link, and
    // CREATE_NEW then never writes through one.
    DeleteFileW(path_.c_str());
    handle_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }
  ~PendingFile() {
    Close();
    if (!published_) DeleteFileW(path_.c_str());
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  HANDLE handle() const { return handle_; }
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (ok()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  // Never over an existing name: false with the system's error when the rename fails.
  bool Publish(const std::wstring& to) {
    published_ = MoveFileExW(path_.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
    return published_;
  }

 private:
  std::wstring path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  bool published_ = false;
};

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE h_;
};

// Up to `total` bytes, the length the file had when opened: a file growing meanwhile is copied
// as it was.
CopyOutcome CopyBytes(HANDLE in, HANDLE out, uint64_t total, const CopyProgressFn& progress) {
  if (progress && !progress(total, 0)) return CopyResult::Cancelled;
  std::vector<char> buffer(kBlockBytes);
  uint64_t done = 0;
  while (done < total) {
    const auto want = static_cast<DWORD>(std::min<uint64_t>(kBlockBytes, total - done));
    DWORD got = 0;
    if (!ReadFile(in, buffer.data(), want, &got, nullptr)) return Failed(GetLastError());
    if (got == 0) break;  // it shrank
    DWORD written = 0;
    if (!WriteFile(out, buffer.data(), got, &written, nullptr)) return Failed(GetLastError());
    if (written != got) return Failed(ERROR_DISK_FULL);
    done += got;
    if (progress && !progress(total, done)) return CopyResult::Cancelled;
  }
  return CopyResult::Copied;
}

}  // namespace

CopyOutcome Win32FileSystem::CopyFile(const std::string& from, const std::string& to,
                                      const CopyProgressFn& progress, NameCase) {
  std::wstring a, b;
  const std::optional<DosPath> target = SplitDosPath(to);
  if (!Offered(from) || !Offered(to)) return Status::Error("no such drive");
  if (!NativePath(from, &a) || !NativePath(to, &b) || target->names.empty())
    return Status::Error("not a valid path");

  // Links to files are copied as their content.
  const Handle in(CreateFileW(a.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.ok()) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(a.c_str());
    // A folder, or a link that leads nowhere.
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
      return CopyResult::NotAFile;
    return Failed(error);
  }
  BY_HANDLE_FILE_INFORMATION source;
  if (GetFileType(in.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(in.get(), &source) ||
      (source.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return CopyResult::NotAFile;
  // Windows names are one in every case: a name present in another case is the same file.
  if (GetFileAttributesW(b.c_str()) != INVALID_FILE_ATTRIBUTES) return CopyResult::Exists;

  std::vector<std::string> names = target->names;
  names.back() = ".quorvin-" + names.back() + ".part";
  std::wstring temporary;
  if (!NativePath(JoinDosPath(target->letter, names), &temporary))
    return Status::Error("not a valid path");
  PendingFile file(temporary);
  if (!file.ok()) return Failed(GetLastError());
  const uint64_t total = static_cast<uint64_t>(source.nFileSizeHigh) << 32 | source.nFileSizeLow;
  const CopyOutcome copied = CopyBytes(in.get(), file.handle(), total, progress);
  if (!(copied == CopyResult::Copied)) return copied;
  if (!SetFileTime(file.handle(), nullptr, nullptr, &source.ftLastWriteTime))
    return Failed(GetLastError());
  file.Close();
  if (!file.Publish(b)) {
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return CopyResult::Exists;
    return Failed(error);
  }
  // Read-only and hidden go with the file; a failure here leaves a complete copy.
  const DWORD kept = source.dwFileAttributes &
                     (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (kept) SetFileAttributesW(b.c_str(), kept);
  return CopyResult::Copied;
}

}  // namespace qv
