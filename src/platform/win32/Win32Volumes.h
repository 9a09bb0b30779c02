// Volumes on Windows: the allocation bitmap of "\\.\X:" and the extents of a file through the
// file-system control requests, on the drives of a Win32FileSystem. A cluster is the file
// system's.
#pragma once

#include <memory>
#include <string>

#include "platform/Volumes.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinApi.h"

namespace qv {

// The two reads on an open handle (of the volume, of the file); Tools\Defrag.exe uses them too.
// `error`, when given, gets the call's error code: 0 or 234 when it worked, ERROR_INVALID_DATA
// for an answer that was refused.
Result<uint32_t> ReadVolumeBitmap(HANDLE volume, int64_t startingLcn, VolumeBitmap* out,
                                  uint32_t* error = nullptr);
Result<uint32_t> ReadRetrievalPointers(HANDLE file, int64_t startingVcn, RetrievalPointers* out,
                                       uint32_t* error = nullptr);

// "\\.\X:" for a path or drive on X:; false without a drive letter.
bool VolumeDevicePath(const std::string& dosPath, std::wstring* device);

class Win32Volumes : public Volumes {
 public:
  explicit Win32Volumes(const Win32FileSystem& files);

  Result<std::unique_ptr<OpenVolume>> Open(const std::string& drive) override;
  Result<std::unique_ptr<OpenFile>> OpenForExtents(const std::string& path,
                                                   bool forMoving) override;
  // Nothing is kept open between two files.
  void EndFileReads() override {}
  bool IsSameFile(const std::string& path, const FileIdentity& identity) override;

 private:
  bool Offered(const std::string& dosPath) const;

  const Win32FileSystem& files_;
};

}  // namespace qv
