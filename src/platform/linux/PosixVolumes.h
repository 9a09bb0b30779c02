// Volumes on Linux: the block bitmap of an ext2/3/4 file system through libext2fs (or, where the
// device cannot be opened, the kernel's map of a mounted one) and file extents through FIEMAP.
// A cluster is a file-system block.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Volumes.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

struct PosixVolumeOptions {
  // Reads the map through FS_IOC_GETFSMAP even where the device can be opened.
  bool forceKernelMap = false;
  std::string swaps = "/proc/swaps";
};

// Extents of a file in clusters. A piece continues the one before it when it starts where that
// one ends on the volume, or where it would start had the hole between them been written (a
// punched or never written range): filefrag counts so, and the merged extent spans the hole.
struct ClusterExtent {
  int64_t vcn = 0;
  int64_t lcn = 0;
  int64_t length = 0;
};
// `lastPiece` is the piece appended before (zero before the first).
void AppendMergedExtent(std::vector<ClusterExtent>* extents, ClusterExtent* lastPiece,
                        const ClusterExtent& e);

class PosixVolumes : public Volumes {
 public:
  explicit PosixVolumes(PosixFileSystem& files, PosixVolumeOptions options = {});
  ~PosixVolumes() override;

  Result<std::unique_ptr<OpenVolume>> Open(const std::string& drive) override;
  Result<std::unique_ptr<OpenFile>> OpenForExtents(const std::string& path,
                                                   bool forMoving) override;
  void EndFileReads() override { folder_.reset(); }
  bool IsSameFile(const std::string& path, const FileIdentity& identity) override;

  // The device or image behind a drive and whether its file system is mounted as the drive;
  // empty device when there is none.
  struct Target {
    std::string device;
    std::string hostFolder;
    std::string fsType;  // of the mount; empty when not mounted there
    bool mounted = false;
  };
  Target FindTarget(const std::string& drive) const;

 private:
  struct SwapFile {
    dev_t dev;
    ino_t ino;
  };
  bool IsActiveSwap(dev_t dev, ino_t ino);
  // Block size of a file system by device, asked once.
  int64_t BlockSize(int fd, dev_t dev);
  // The device of a drive's folder, looked up once per opening of a volume; 0 when unknown.
  dev_t RootDevice(const DriveMapping& drive);
  // The folder of the last file looked at, kept open for the next one; -1 when it cannot be had.
  int Folder(const std::string& hostFolder, bool fresh);

  PosixFileSystem& files_;
  PosixVolumeOptions options_;
  std::vector<SwapFile> swaps_;
  uint64_t swapsReadMs_ = 0;
  bool swapsKnown_ = false;
  std::vector<std::pair<dev_t, int64_t>> blockSizes_;
  std::vector<std::pair<std::string, dev_t>> rootDevices_;
  std::string folderPath_;
  UniqueFd folder_;
};

}  // namespace qv
