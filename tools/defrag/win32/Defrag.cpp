// Tools\Defrag.exe on Windows: brings the clusters of one file together with FSCTL_MOVE_FILE.
//   Defrag.exe X:\FOLDER\FILE [-q]
// It refuses anything but a regular file reached through no reparse point on its drive's own
// volume, writes nothing ("-q" is what the program always asks for) and ends with a DefragExit.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/common/DriveLetters.h"
#include "platform/win32/DefragPlan.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32PathChain.h"
#include "platform/win32/Win32Volumes.h"
#include "platform/win32/WinApi.h"
//
#include <shellapi.h>
#include <winioctl.h>

namespace qv {
namespace {

bool IsPlainFile(DWORD attributes) {
  return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
}

// The file's extents from virtual cluster 0; an exit code when they cannot be read.
int ReadExtents(HANDLE file, std::vector<Extent>* extents, int64_t* startingVcn) {
  auto reply = std::make_unique<RetrievalPointers>();
  int64_t vcn = 0;
  for (;;) {
    uint32_t error = 0;
    const Result<uint32_t> read = ReadRetrievalPointers(file, vcn, reply.get(), &error);
    if (!read) return DefragExitFor(error);
    if (vcn == 0) *startingVcn = reply->StartingVcn;
    extents->insert(extents->end(), reply->Extents, reply->Extents + reply->ExtentCount);
    if (*read != kVolumeMoreData) return kDefragDone;
    vcn = reply->Extents[reply->ExtentCount - 1].NextVcn;
  }
}

int ReadFreeRuns(HANDLE volume, std::vector<ClusterRun>* runs) {
  FreeRunCollector collector;
  auto piece = std::make_unique<VolumeBitmap>();
  for (int64_t lcn = 0;; lcn += kBitmapChunkClusters) {
    uint32_t error = 0;
    const Result<uint32_t> read = ReadVolumeBitmap(volume, lcn, piece.get(), &error);
    if (!read) return DefragExitFor(error);
    if (!collector.Add(*piece)) return kDefragFailed;
    if (*read != kVolumeMoreData) break;
  }
  *runs = collector.Finish();
  return kDefragDone;
}

int Defragment(const std::string& path) {
  // The folders on the way stay held until the end: the name keeps leading to this file.
  const PathChain chain(path, true);
  if (!chain) return kDefragRefused;
  const WinHandle file(OpenAsIs(chain.LeafPath(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE));
  BY_HANDLE_FILE_INFORMATION info;
  WIN32_FIND_DATAW listed;
  if (!file.ok() || !GetFileInformationByHandle(file.get(), &info) ||
      !IsPlainFile(info.dwFileAttributes) || !Listed(chain.LeafPath(), &listed) ||
      !IsPlainFile(listed.dwFileAttributes) || info.dwVolumeSerialNumber != chain.serial())
    return kDefragRefused;

  std::vector<Extent> extents;
  int64_t startingVcn = 0;
  if (const int ended = ReadExtents(file.get(), &extents, &startingVcn); ended != kDefragDone)
    return ended;
  if (extents.size() < 2) return kDefragDone;
  std::wstring device;
  if (!VolumeDevicePath(path, &device)) return kDefragRefused;
  const WinHandle volume(CreateFileW(device.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
  if (!volume.ok()) return DefragExitFor(GetLastError());
  std::vector<ClusterRun> freeRuns;
  if (const int ended = ReadFreeRuns(volume.get(), &freeRuns); ended != kDefragDone) return ended;

  for (const ClusterMove& move : PlanDefrag(startingVcn, extents, std::move(freeRuns))) {
    // In moves of a size one call can name.
    constexpr int64_t kMostPerMove = int64_t{1} << 24;
    for (int64_t done = 0; done < move.count; done += kMostPerMove) {
      MOVE_FILE_DATA data{};
      data.FileHandle = file.get();
      data.StartingVcn.QuadPart = move.vcn + done;
      data.StartingLcn.QuadPart = move.lcn + done;
      data.ClusterCount = static_cast<DWORD>(std::min(move.count - done, kMostPerMove));
      DWORD n = 0;
      if (!DeviceIoControl(volume.get(), FSCTL_MOVE_FILE, &data, sizeof data, nullptr, 0, &n,
                           nullptr)) {
        const DWORD error = GetLastError();
        // With the volume open, a denied move means the clusters were taken since the bitmap
        // was read; the file system moves all of a call or nothing.
        return error == ERROR_ACCESS_DENIED ? kDefragFailed : DefragExitFor(error);
      }
    }
  }
  return kDefragDone;
}

int Run() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  std::string path;
  bool usage = !args;
  for (int i = 1; args && i < count; ++i) {
    const std::string arg = ToUtf8(args[i]);
    if (arg == "-q") continue;
    // One absolute path of a drive, once.
    if (!path.empty() || !DriveLetterOf(arg) || arg.size() < 3 || arg[2] != '\\') usage = true;
    path = arg;
  }
  LocalFree(args);
  if (usage || path.empty()) return kDefragUsage;
  return Defragment(path);
}

}  // namespace
}  // namespace qv

int main() {
  return qv::Run();
}
