#include "platform/linux/PosixVolumes.h"

#include <ext2fs/ext2fs.h>
#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <linux/fsmap.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/linux/PosixMounts.h"
#include "platform/linux/UniqueFd.h"

namespace qv {

void AppendMergedExtent(std::vector<ClusterExtent>* extents, ClusterExtent* lastPiece,
                        const ClusterExtent& e) {
  if (e.length <= 0) return;
  const ClusterExtent before = *lastPiece;
  *lastPiece = e;
  if (!extents->empty() &&
      (e.lcn == before.lcn + before.length || e.lcn == before.lcn + (e.vcn - before.vcn))) {
    ClusterExtent& last = extents->back();
    last.length = std::max(last.length, e.vcn + e.length - last.vcn);
    return;
  }
  extents->push_back(e);
}

namespace {

uint64_t NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000 + static_cast<uint64_t>(t.tv_nsec) / 1000000;
}

bool IsExtFamily(const std::string& type) {
  return type == "ext2" || type == "ext3" || type == "ext4";
}

// Serves the bitmap pieces from a whole-volume source of used clusters.
class ChunkedVolume : public OpenVolume {
 public:
  Result<uint32_t> GetVolumeBitmap(int64_t startingLcn, VolumeBitmap* out) override {
    *out = VolumeBitmap{};
    if (startingLcn < 0 || startingLcn >= total_)
      return Status::Error("cluster " + std::to_string(startingLcn) + " is outside the volume");
    out->StartingLcn = startingLcn;
    out->BitmapSize = total_ - startingLcn;
    const int64_t count = std::min<int64_t>(kBitmapChunkClusters, total_ - startingLcn);
    if (!Fill(startingLcn, count, out->Buffer))
      return Status::Error("the allocation bitmap cannot be read");
    return startingLcn + count < total_ ? kVolumeMoreData : kVolumeOk;
  }

 protected:
  virtual bool Fill(int64_t start, int64_t count, uint8_t* bits) = 0;
  int64_t total_ = 0;
};

// The block bitmap as libext2fs reads it from the device or image.
class Ext2Volume : public ChunkedVolume {
 public:
  explicit Ext2Volume(ext2_filsys fs) : fs_(fs) {
    total_ = static_cast<int64_t>(ext2fs_blocks_count(fs_->super));
  }
  ~Ext2Volume() override {
    if (uninit_) ext2fs_free_block_bitmap(uninit_);
    ext2fs_close_free(&fs_);
  }

  // Whole-volume bitmaps are read at once: the file system's own cluster bitmap (bigalloc) has
  // no group-by-group reading here.
  bool ReadWhole() {
    whole_ = true;
    return ext2fs_read_block_bitmap(fs_) == 0;
  }

  // Otherwise each piece reads only the groups it covers, so that a large volume costs one
  // piece's time between two yields. Groups never initialised have no bitmap on the disk: their
  // blocks in use are the file system's own tables, marked here once, as libext2fs marks them.
  bool PrepareGroups() {
    fs_->default_bitmap_type = EXT2FS_BMAP64_RBTREE;
    if (ext2fs_allocate_block_bitmap(fs_, "uninitialised groups", &uninit_) != 0) return false;
    csum_ = ext2fs_has_group_desc_csum(fs_);
    for (dgrp_t g = 0; g < fs_->group_desc_count; ++g) {
      if (!ext2fs_bg_flags_test(fs_, g, EXT2_BG_BLOCK_UNINIT)) continue;
      ext2fs_reserve_super_and_bgd(fs_, g, uninit_);
      if (const blk64_t b = ext2fs_inode_table_loc(fs_, g))
        ext2fs_mark_block_bitmap_range2(uninit_, b, fs_->inode_blocks_per_group);
      if (const blk64_t b = ext2fs_block_bitmap_loc(fs_, g)) ext2fs_mark_block_bitmap2(uninit_, b);
      if (const blk64_t b = ext2fs_inode_bitmap_loc(fs_, g)) ext2fs_mark_block_bitmap2(uninit_, b);
    }
    group_.resize(fs_->blocksize);
    return true;
  }

 protected:
  bool Fill(int64_t start, int64_t count, uint8_t* bits) override {
    // Blocks before the first data block (the boot block of 1 KiB file systems) are no part of
    // the bitmap: they are in use.
    const int64_t first = fs_->super->s_first_data_block;
    int64_t from = std::max(start, first);
    for (int64_t b = start; b < from && b < start + count; ++b)
      bits[(b - start) / 8] |= static_cast<uint8_t>(1u << ((b - start) % 8));
    if (from >= start + count) return true;
    if (!whole_) return FillFromGroups(from, start, count, bits);
    if (from == start) {
      return ext2fs_get_block_bitmap_range2(fs_->block_map, static_cast<blk64_t>(start),
                                            static_cast<size_t>(count), bits) == 0;
    }
    // Rare: the piece begins before the first data block; copy bit by bit.
    for (int64_t b = from; b < start + count; ++b)
      if (ext2fs_test_block_bitmap2(fs_->block_map, static_cast<blk64_t>(b)))
        bits[(b - start) / 8] |= static_cast<uint8_t>(1u << ((b - start) % 8));
    return true;
  }

 private:
  bool FillFromGroups(int64_t from, int64_t start, int64_t count, uint8_t* bits) {
    const int64_t first = fs_->super->s_first_data_block;
    const int64_t perGroup = fs_->super->s_blocks_per_group;
    const int64_t end = start + count;
    for (int64_t g = (from - first) / perGroup; g < fs_->group_desc_count; ++g) {
      const int64_t groupStart = first + g * perGroup;
      if (groupStart >= end) break;
      const dgrp_t group = static_cast<dgrp_t>(g);
      blk64_t at = ext2fs_block_bitmap_loc(fs_, group);
      if ((csum_ && ext2fs_bg_flags_test(fs_, group, EXT2_BG_BLOCK_UNINIT)) ||
          at >= ext2fs_blocks_count(fs_->super))
        at = 0;
      const bool read = at != 0;
      if (read && io_channel_read_blk64(fs_->io, static_cast<unsigned long long>(at), 1,
                                        group_.data()) != 0)
        return false;
      if (!read) std::fill(group_.begin(), group_.end(), 0);
      const int64_t a = std::max(groupStart, from);
      const int64_t b = std::min(groupStart + perGroup, end);
      // The tables of groups never initialised may lie in this one (flexible groups).
      tables_.assign(static_cast<size_t>((b - a + 7) / 8), 0);
      if (ext2fs_get_block_bitmap_range2(uninit_, static_cast<blk64_t>(a),
                                         static_cast<size_t>(b - a), tables_.data()) != 0)
        return false;
      for (int64_t c = a; c < b; ++c) {
        const int64_t i = c - groupStart, t = c - a;
        if (((group_[static_cast<size_t>(i / 8)] >> (i % 8)) & 1) ||
            ((tables_[static_cast<size_t>(t / 8)] >> (t % 8)) & 1))
          bits[(c - start) / 8] |= static_cast<uint8_t>(1u << ((c - start) % 8));
      }
    }
    return true;
  }

  ext2_filsys fs_;
  bool whole_ = false;
  bool csum_ = false;
  ext2fs_block_bitmap uninit_ = nullptr;
  std::vector<uint8_t> group_, tables_;
};

// The kernel's map of a mounted file system: everything it reports is in use, the gaps are free.
// Each piece asks only for its own range.
class KernelMapVolume : public ChunkedVolume {
 public:
  KernelMapVolume(UniqueFd folder, uint32_t device, int64_t block)
      : folder_(std::move(folder)), device_(device), block_(block) {}

  // The volume's size in blocks: the device's, as the mounted file system does not say how many
  // blocks its own tables take; where the device does not say, the end of the last record.
  bool Measure(int64_t deviceBlocks) {
    int64_t end = 0;
    if (deviceBlocks <= 0 &&
        !Query(0, UINT64_MAX, [&end](int64_t, int64_t b) { end = std::max(end, b); }))
      return false;
    total_ = std::max(deviceBlocks, end);
    return total_ > 0;
  }

 protected:
  bool Fill(int64_t start, int64_t count, uint8_t* bits) override {
    return Query(static_cast<uint64_t>(start * block_),
                 static_cast<uint64_t>((start + count) * block_ - 1), [&](int64_t a, int64_t b) {
                   for (int64_t c = std::max(a, start); c < std::min(b, start + count); ++c)
                     bits[(c - start) / 8] |= static_cast<uint8_t>(1u << ((c - start) % 8));
                 });
  }

 private:
  // Calls `used` with [first, end) in clusters for every record in use that touches the bytes
  // from `low` to `high`.
  template <typename Used>
  bool Query(uint64_t low, uint64_t high, Used used) {
    constexpr unsigned kRecords = 512;
    std::vector<uint8_t> buffer(sizeof(fsmap_head) + kRecords * sizeof(fsmap));
    auto* head = reinterpret_cast<fsmap_head*>(buffer.data());
    head->fmh_count = kRecords;
    head->fmh_keys[0].fmr_device = device_;
    head->fmh_keys[0].fmr_physical = low;
    head->fmh_keys[1].fmr_device = device_;
    head->fmh_keys[1].fmr_physical = high;
    head->fmh_keys[1].fmr_owner = UINT64_MAX;
    head->fmh_keys[1].fmr_offset = UINT64_MAX;
    head->fmh_keys[1].fmr_flags = UINT32_MAX;
    for (;;) {
      if (ioctl(folder_.get(), FS_IOC_GETFSMAP, head) != 0) return false;
      if (head->fmh_entries == 0) return true;
      for (unsigned k = 0; k < head->fmh_entries; ++k) {
        const fsmap& r = head->fmh_recs[k];
        if (r.fmr_device != device_ ||
            ((r.fmr_flags & FMR_OF_SPECIAL_OWNER) && r.fmr_owner == FMR_OWN_FREE))
          continue;
        used(static_cast<int64_t>(r.fmr_physical) / block_,
             static_cast<int64_t>((r.fmr_physical + r.fmr_length + block_ - 1) / block_));
      }
      const fsmap& last = head->fmh_recs[head->fmh_entries - 1];
      if (last.fmr_flags & FMR_OF_LAST) return true;
      head->fmh_keys[0] = last;
    }
  }

  UniqueFd folder_;
  uint32_t device_;
  int64_t block_;
};

Result<std::unique_ptr<OpenVolume>> ReadKernelMap(const std::string& folder) {
  UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) return Status::Error(folder + ": " + std::strerror(errno));
  struct stat st {};
  struct statfs sf {};
  if (fstat(fd.get(), &st) != 0 || fstatfs(fd.get(), &sf) != 0 || sf.f_bsize <= 0)
    return Status::Error(folder + ": its file system gives no block size");
  const int64_t block = sf.f_bsize;
  const uint32_t device = static_cast<uint32_t>(
      (minor(st.st_dev) & 0xff) | (major(st.st_dev) << 8) | ((minor(st.st_dev) & ~0xffu) << 12));
  std::ifstream size("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                     std::to_string(minor(st.st_dev)) + "/size");
  int64_t sectors = 0;
  const int64_t deviceBlocks = size >> sectors ? sectors * 512 / block : 0;
  auto volume = std::make_unique<KernelMapVolume>(std::move(fd), device, block);
  if (!volume->Measure(deviceBlocks))
    return Status::Error(folder + ": the kernel gives no map of its used space");
  return std::unique_ptr<OpenVolume>(std::move(volume));
}

class FiemapFile : public OpenFile {
 public:
  FiemapFile(UniqueFd fd, int64_t blockSize, FileIdentity identity)
      : fd_(std::move(fd)), block_(blockSize), identity_(identity) {}

  FileIdentity Identity() const override { return identity_; }

  Result<uint32_t> GetRetrievalPointers(int64_t startingVcn, RetrievalPointers* out) override {
    out->ExtentCount = 0;
    out->StartingVcn = 0;
    if (!read_ && !Read()) return Status::Error("the file's extents cannot be read");
    size_t k = 0;
    while (k < extents_.size() && extents_[k].vcn + extents_[k].length <= startingVcn) ++k;
    if (k < extents_.size()) out->StartingVcn = std::max(startingVcn, extents_[k].vcn);
    uint32_t n = 0;
    for (; k < extents_.size() && n < kExtentsPerRead; ++k, ++n) {
      out->Extents[n].NextVcn = extents_[k].vcn + extents_[k].length;
      out->Extents[n].Lcn = extents_[k].lcn;
    }
    out->ExtentCount = n;
    return k < extents_.size() ? kVolumeMoreData : kVolumeOk;
  }

 private:
  bool Read() {
    read_ = true;
    constexpr unsigned kBatch = 512;
    // One buffer for every file read on this thread; the kernel fills the extents, only the
    // request's head needs clearing.
    thread_local std::vector<uint64_t> buffer(
        (sizeof(fiemap) + kBatch * sizeof(fiemap_extent) + sizeof(uint64_t) - 1) /
        sizeof(uint64_t));
    auto* map = reinterpret_cast<fiemap*>(buffer.data());
    uint64_t from = 0;
    bool first = true;
    for (;;) {
      std::memset(map, 0, sizeof(fiemap));
      map->fm_start = from;
      map->fm_length = FIEMAP_MAX_OFFSET - from;
      // Delayed allocations get their places first, as they would before a move.
      map->fm_flags = first ? FIEMAP_FLAG_SYNC : 0;
      map->fm_extent_count = kBatch;
      first = false;
      if (ioctl(fd_.get(), FS_IOC_FIEMAP, map) != 0) return !extents_.empty();
      if (map->fm_mapped_extents == 0) return true;
      bool last = false;
      for (unsigned k = 0; k < map->fm_mapped_extents; ++k) {
        const fiemap_extent& e = map->fm_extents[k];
        if (e.fe_flags & FIEMAP_EXTENT_LAST) last = true;
        from = e.fe_logical + e.fe_length;
        // Data kept inside the file system's own tables has no place of its own.
        if (e.fe_flags & (FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_UNKNOWN)) continue;
        AppendMergedExtent(
            &extents_, &lastPiece_,
            ClusterExtent{static_cast<int64_t>(e.fe_logical) / block_,
                          static_cast<int64_t>(e.fe_physical) / block_,
                          static_cast<int64_t>((e.fe_length + block_ - 1) / block_)});
      }
      if (last || from >= FIEMAP_MAX_OFFSET) return true;
    }
  }

  UniqueFd fd_;
  int64_t block_;
  FileIdentity identity_;
  bool read_ = false;
  std::vector<ClusterExtent> extents_;
  ClusterExtent lastPiece_;
};

// "/proc/swaps" writes blanks and other special bytes of names as octal escapes.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(s[i + 2])) &&
        std::isdigit(static_cast<unsigned char>(s[i + 3]))) {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

PosixVolumes::PosixVolumes(PosixFileSystem& files, PosixVolumeOptions options)
    : files_(files), options_(std::move(options)) {}

PosixVolumes::~PosixVolumes() = default;

PosixVolumes::Target PosixVolumes::FindTarget(const std::string& drive) const {
  Target t;
  if (drive.empty()) return t;
  const DriveMapping* mapping = files_.Table().Find(drive[0]);
  if (!mapping || mapping->hostFolder.empty()) return t;
  t.hostFolder = mapping->hostFolder;
  const DriveTable::Mounted m = files_.Table().MountOf(*mapping);
  t.device = m.device;
  t.mounted = m.mount.has_value();
  if (m.mount) t.fsType = m.mount->fsType;
  return t;
}

dev_t PosixVolumes::RootDevice(const DriveMapping& drive) {
  for (const auto& [folder, dev] : rootDevices_)
    if (folder == drive.hostFolder) return dev;
  const dev_t dev = DriveTable::CurrentDevice(drive);
  if (dev != 0) rootDevices_.emplace_back(drive.hostFolder, dev);
  return dev;
}

Result<std::unique_ptr<OpenVolume>> PosixVolumes::Open(const std::string& drive) {
  // A drive may have been mounted or unmounted since the last analysis.
  rootDevices_.clear();
  folder_.reset();
  const Target t = FindTarget(drive);
  if (t.hostFolder.empty()) return Status::Error(drive + " is no drive");
  // Only other file systems than ext2/3/4 are refused before trying: an image given with the
  // drive may not be mounted at all.
  if (t.mounted && !IsExtFamily(t.fsType))
    return Status::Error(drive + " holds " + t.fsType + ", not ext2, ext3 or ext4");
  if (t.mounted) {
    // The bitmap on the device is what the file system last wrote back.
    UniqueFd folder(open(t.hostFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) syncfs(folder.get());
  }
  if (!t.device.empty() && !options_.forceKernelMap) {
    ext2_filsys fs = nullptr;
    if (ext2fs_open(t.device.c_str(), EXT2_FLAG_64BITS | EXT2_FLAG_SKIP_MMP, 0, 0, unix_io_manager,
                    &fs) == 0) {
      auto volume = std::make_unique<Ext2Volume>(fs);
      const bool bigalloc = ext2fs_has_feature_bigalloc(fs->super);
      if (bigalloc ? volume->ReadWhole() : volume->PrepareGroups())
        return std::unique_ptr<OpenVolume>(std::move(volume));
      return Status::Error(t.device + ": the allocation bitmap cannot be read");
    }
  }
  if (t.mounted) return ReadKernelMap(t.hostFolder);
  return Status::Error(t.device.empty() ? drive + " has no device"
                                        : t.device + " cannot be opened as ext2, ext3 or ext4");
}

int64_t PosixVolumes::BlockSize(int fd, dev_t dev) {
  for (const auto& [d, size] : blockSizes_)
    if (d == dev) return size;
  struct statfs sf {};
  if (fstatfs(fd, &sf) != 0 || sf.f_bsize <= 0) return 0;
  blockSizes_.emplace_back(dev, static_cast<int64_t>(sf.f_bsize));
  return sf.f_bsize;
}

bool PosixVolumes::IsActiveSwap(dev_t dev, ino_t ino) {
  // Swap files come and go rarely; once a second is often enough to look.
  const uint64_t now = NowMs();
  if (!swapsKnown_ || now - swapsReadMs_ >= 1000) {
    swapsKnown_ = true;
    swapsReadMs_ = now;
    swaps_.clear();
    std::ifstream in(options_.swaps);
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string name, type;
      if (!(fields >> name >> type) || type != "file") continue;
      struct stat st {};
      if (stat(Unescape(name).c_str(), &st) == 0) swaps_.push_back(SwapFile{st.st_dev, st.st_ino});
    }
  }
  for (const SwapFile& s : swaps_)
    if (s.dev == dev && s.ino == ino) return true;
  return false;
}

Result<std::unique_ptr<OpenFile>> PosixVolumes::OpenForExtents(const std::string& path,
                                                               bool forMoving) {
  const auto fail = [&](const std::string& why) { return Status::Error(path + ": " + why); };
  PosixFileSystem::Resolved r = files_.Resolve(path, PosixFileSystem::Lookup::Unchecked, true);
  if (!r.drive) return fail("not on a drive");
  std::string host = r.Host();
  const dev_t rootDev = RootDevice(*r.drive);
  if (rootDev == 0) return fail("its drive's device is unknown");
  // The kind first, from the entry itself: a FIFO, socket or device found here is never opened,
  // and a link is not followed (its target belongs to whatever it points at). One call for the
  // kind, the device and (where the file system reports them) the immutable and append-only
  // flags: the deep analysis does this for every file of the drive, folder by folder, so the
  // folder is looked up once for all its files.
  struct statx sx {};
  int folder = -1;
  std::string name;
  bool found = false;
  for (int attempt = 0; attempt < 2 && !found; ++attempt) {
    if (attempt == 1) {
      // The cache may be out of date: look again properly.
      r = files_.Resolve(path);
      if (!r.complete()) return fail("not found");
      host = r.Host();
    }
    const size_t slash = host.rfind('/');
    if (slash == std::string::npos || slash + 1 == host.size()) return fail("no file");
    folder = Folder(slash == 0 ? "/" : host.substr(0, slash), attempt == 1);
    name = host.substr(slash + 1);
    found = folder >= 0 &&
            statx(folder, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO, &sx) == 0;
    if (!found && errno != ENOENT) return fail(std::strerror(errno));
  }
  if (!found) return fail("not found");
  const dev_t dev = makedev(sx.stx_dev_major, sx.stx_dev_minor);
  // Only regular files of the drive's own file system have extents there.
  if (!S_ISREG(sx.stx_mode) || dev != rootDev)
    return fail("not a regular file of the drive's own file system");
  UniqueFd fd(
      openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  // Whatever was swapped in since the look is not used.
  struct stat st {};
  if (!fd || fstat(fd.get(), &st) != 0 || st.st_dev != dev || st.st_ino != sx.stx_ino)
    return fail("changed while it was opened");
  if (forMoving) {
    constexpr uint64_t kFixed = STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND;
    if ((sx.stx_attributes_mask & kFixed) == kFixed) {
      if (sx.stx_attributes & kFixed) return fail("immutable or append-only");
    } else {
      int flags = 0;
      if (ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0 &&
          (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)))
        return fail("immutable or append-only");
    }
    if (IsActiveSwap(dev, sx.stx_ino)) return fail("an active swap file");
  }
  const int64_t block = BlockSize(fd.get(), dev);
  if (block <= 0) return fail("its file system gives no block size");
  return std::unique_ptr<OpenFile>(std::make_unique<FiemapFile>(
      std::move(fd), block, FileIdentity{static_cast<uint64_t>(dev), sx.stx_ino}));
}

int PosixVolumes::Folder(const std::string& hostFolder, bool fresh) {
  if (fresh || !folder_ || folderPath_ != hostFolder) {
    folder_.reset(open(hostFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    folderPath_ = hostFolder;
  }
  return folder_.get();
}

bool PosixVolumes::IsSameFile(const std::string& path, const FileIdentity& identity) {
  const PosixFileSystem::Resolved r = files_.Resolve(path);
  if (!r.complete() || r.names.empty()) return false;
  // Component by component, so that a link anywhere on the way fails the walk.
  UniqueFd at(open(r.drive->hostFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (size_t k = 0; at && k < r.names.size(); ++k) {
    const int folder = k + 1 < r.names.size() ? O_DIRECTORY : 0;
    at.reset(openat(at.get(), r.names[k].c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC | folder));
  }
  struct stat st {};
  return at && fstat(at.get(), &st) == 0 && S_ISREG(st.st_mode) &&
         static_cast<uint64_t>(st.st_dev) == identity.device &&
         static_cast<uint64_t>(st.st_ino) == identity.inode;
}

}  // namespace qv
