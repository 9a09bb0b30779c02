// Volume access for the fragmentation analysis, shaped like the two file-system control requests
// a Windows platform serves: the cluster-allocation bitmap of a volume and the extents of a file,
// both read piecewise with a "more data" answer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Status.h"

namespace qv {

// Answers of the reads that worked; a failed read carries its reason instead.
constexpr uint32_t kVolumeOk = 0;
constexpr uint32_t kVolumeMoreData = 234;

constexpr uint32_t kBitmapBytes = 4096;
constexpr uint32_t kBitmapChunkClusters = kBitmapBytes * 8;  // 32768
constexpr uint32_t kExtentsPerRead = 512;

// One piece of the allocation bitmap: one bit per cluster from `StartingLcn`, least significant
// bit first, set for a cluster in use.
struct VolumeBitmap {
  int64_t StartingLcn = 0;
  int64_t BitmapSize = 0;  // clusters from StartingLcn to the end of the volume
  uint8_t Buffer[kBitmapBytes] = {};
};

struct Extent {
  int64_t NextVcn = 0;  // first virtual cluster after this extent
  int64_t Lcn = 0;      // first logical cluster of this extent
};

struct RetrievalPointers {
  uint32_t ExtentCount = 0;
  int64_t StartingVcn = 0;
  Extent Extents[kExtentsPerRead] = {};
};

class OpenVolume {
 public:
  virtual ~OpenVolume() = default;
  // Fills `out` from cluster `startingLcn` (a multiple of 32768); kVolumeMoreData while the
  // volume goes on past this piece.
  virtual Result<uint32_t> GetVolumeBitmap(int64_t startingLcn, VolumeBitmap* out) = 0;
};

// Which file an entry is, as the volume knows it.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity& o) const { return device == o.device && inode == o.inode; }
};

class OpenFile {
 public:
  virtual ~OpenFile() = default;
  virtual FileIdentity Identity() const = 0;
  // Up to 512 extents from virtual cluster `startingVcn`; kVolumeMoreData when more follow.
  virtual Result<uint32_t> GetRetrievalPointers(int64_t startingVcn, RetrievalPointers* out) = 0;
};

// Open's answer when the user may not read the volume: the program shows it as it is.
inline constexpr char kVolumeNeedsRights[] = "Defragmentation needs administrator rights";

class Volumes {
 public:
  virtual ~Volumes() = default;
  // The volume of a drive ("C:"), or why it cannot be opened.
  virtual Result<std::unique_ptr<OpenVolume>> Open(const std::string& drive) = 0;
  // A file by its full path. `forMoving` asks for the access a defragmenter needs; a failure
  // when the file cannot be had that way.
  virtual Result<std::unique_ptr<OpenFile>> OpenForExtents(const std::string& path,
                                                           bool forMoving) = 0;
  // Lets go of what reading extents keeps open from one file to the next (a folder of the
  // drive): once a walk is over, the drive must not stay busy.
  virtual void EndFileReads() = 0;
  // True when `path` still names that regular file, reached through no link.
  virtual bool IsSameFile(const std::string& path, const FileIdentity& identity) = 0;
};

}  // namespace qv
