// The tests' file system: drives held in memory, names matched without regard to case as on
// the drives the program was made for, and a recycle bin that keeps what was put into it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace qv {

class MemoryFileSystem : public FileSystem {
 public:
  // `executableFolder`: a DOS path such as "C:\app"; its drive is made.
  explicit MemoryFileSystem(std::string executableFolder);
  ~MemoryFileSystem() override;

  std::string ExecutableFolder() const override { return executableFolder_; }
  std::vector<std::string> LogicalDrives() const override;
  int GetDriveType(const std::string& root) const override;
  Result<VolumeInfo> GetVolumeInfo(const std::string& root) const override;
  Result<FreeSpace> GetFreeSpace(const std::string& path) override;
  Result<std::vector<DirEntry>> ListFolder(const std::string& folder, ListDetail detail) override;
  bool IsFolder(const std::string& path, FollowLinks links) override;
  PathState Probe(const std::string& path, NameCase nameCase) override;
  Result<std::vector<uint8_t>> ReadWholeFile(const std::string& path) override;
  // There is no host: the DOS path itself.
  std::string HostPath(const std::string& dosPath) override { return dosPath; }
  Status CreateFolder(const std::string& path) override;
  Status CreatePath(const std::string& folderPath) override;
  Status Rename(const std::string& from, const std::string& to) override;
  Result<uint64_t> FileLength(const std::string& path) override;
  // Progress comes once before the first byte and after every `copyChunk` bytes.
  CopyOutcome CopyFile(const std::string& from, const std::string& to,
                       const CopyProgressFn& progress, NameCase nameCase) override;
  Status DeleteToTrash(const std::string& path) override;
  Status EmptyTrash() override;

  // Test controls. Paths are DOS paths; missing folders on the way are made.
  void AddDrive(char letter, uint64_t capacity = uint64_t{1} << 30);
  void RemoveDrive(char letter);
  // False where a file is in the way of a folder of the path.
  bool WriteFile(const std::string& path, const std::string& content, int64_t modified = 0);
  // The content of a file; empty where there is none.
  std::string Read(const std::string& path);
  bool SetHidden(const std::string& path, bool hidden);
  // Whether a file or folder is there.
  bool Exists(const std::string& path);
  // Deletes for good, folders with all they hold.
  bool Remove(const std::string& path);
  // Paths of what is in the recycle bins, in the order it went in.
  std::vector<std::string> Trashed() const;
  void SetCopyChunk(uint64_t bytes) { copyChunk_ = bytes; }

  struct Node;

 private:
  struct Drive;
  struct Found;
  Found Find(const std::string& path, NameCase nameCase = NameCase::Any);
  uint64_t Used(const Drive& d) const;

  std::string executableFolder_;
  std::map<char, std::unique_ptr<Drive>> drives_;
  uint64_t copyChunk_ = uint64_t{64} << 10;
};

}  // namespace qv
